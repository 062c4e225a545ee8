// What the JPEG decoder and encoder share: libjpeg's error handling. Private to
// platform/graphics.
//
// libjpeg reports fatal errors through error_exit, which here jumps back with
// longjmp. A function that calls setjmp keeps only plain C locals, and no C++ object
// with a destructor lives in a frame that a jump crosses.
#pragma once

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>

namespace platform::graphics {

struct ErrorJump {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// Makes `err` jump to err.jump on a fatal error and print nothing.
void installErrorJump(ErrorJump& err);

}  // namespace platform::graphics
