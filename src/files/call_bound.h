// What a call of the file work that outlasted its bound costs. Such a call
// is cancelled (see kFileCallBoundMs in platform.h) and fails as cancelled;
// its entry then counts as in use, passed over for this run, and so does
// the rest of the piece of work it belonged to: one profile's part of the
// command, or (outside the profile walk) the rest of the command's own
// work. From then on no folder is opened in that piece, and no delete
// asked, so no call of it waits again; a profile given up once stays given
// up in the command's later walks too. So a user who holds an entry of
// hers under an opportunistic lock she never lets go of costs the run one
// bound, about 10 s, per piece she has such an entry in, and costs only
// that piece; every other profile is worked in, and the next run finishes
// whatever the lock no longer holds back.
#pragma once

#include <string>

#include "platform/platform.h"

// A piece of work, for as long as it lives: a profile's, named by its
// directory, or the command's own (an empty name). Pieces nest, and the one
// that ends gives the piece around it back. The outermost piece is the
// command's own; it starts with nothing given up. Outside every piece
// nothing is given up. Two spellings of one profile directory (the profile
// list may name one folder twice, "C:\Users\bob\..\alice" beside
// "%SystemDrive%\Users\alice") are one piece: the name is compared in its
// full form without regard to letter case, worked out only once something
// was given up.
class PieceOfWork {
 public:
  explicit PieceOfWork(const std::wstring& name);
  PieceOfWork(const PieceOfWork&) = delete;
  PieceOfWork& operator=(const PieceOfWork&) = delete;
  ~PieceOfWork();

  const std::wstring& name() const { return name_; }
  // The name in the form it is compared in.
  const std::wstring& key();

 private:
  PieceOfWork* outer_;
  std::wstring name_;
  std::wstring key_;
  bool keyKnown_ = false;
};

// Whether a call of the running piece was cancelled: its work is given up.
bool WorkGivenUp();

// A failed call's answer, noted: a cancelled call gives the running piece
// up. Each returns its argument.
platform::NtStatus NoteStatus(platform::NtStatus status);
bool NoteResult(bool succeeded);  // GetLastError tells why it failed
