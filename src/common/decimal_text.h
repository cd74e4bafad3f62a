// Decimal text of an integer, for messages and file names.
#pragma once

#include <cstdint>
#include <string>

// The value in decimal, with a leading '-' when negative. Written out here
// rather than with std::to_wstring, whose wide formatted-print machinery
// would add about 23 KB to the executable for the few numbers the tool prints.
std::wstring DecimalText(std::int64_t value);
