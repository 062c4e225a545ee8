#include "platform/graphics/jpeg_common.h"

namespace platform::graphics {
namespace {

void jumpOnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}
void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

}  // namespace

void installErrorJump(ErrorJump& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = jumpOnError;
  err.pub.emit_message = ignoreMessage;
  err.pub.output_message = ignoreOutput;
}

}  // namespace platform::graphics
