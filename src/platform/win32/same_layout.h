// Compile-time proof that a seam structure which passes straight through to
// a real call has the real structure's size and field offsets.
#pragma once

#include <cstddef>

#define CM_SAME_FIELD(Seam, Real, seamField, realField)                             \
  static_assert(offsetof(platform::Seam, seamField) == offsetof(Real, realField) && \
                    sizeof(platform::Seam::seamField) == sizeof(Real::realField),   \
                #Seam "::" #seamField " is " #Real "::" #realField)
#define CM_SAME_SIZE(Seam, Real) static_assert(sizeof(platform::Seam) == sizeof(Real), #Seam " is " #Real)
