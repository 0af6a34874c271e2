#pragma once
// Stand-in until the shared GIF utilities land: removed at merge.
#include "platform/core/Exceptions.h"
namespace gif {
using platform::EInvalidGraphic;
KSS_DECLARE_EXCEPTION(GIFException, EInvalidGraphic)
[[noreturn]] inline void Error(const std::string &Message) { throw GIFException(Message); }
} // namespace gif
