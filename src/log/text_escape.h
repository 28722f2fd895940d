// Bytes of a host's text quoted back in a message: well-formed UTF-8 stays as
// it is, every other byte is written as \xHH, so a message never carries bytes
// a UTF-8 reader would refuse or replace.
#pragma once
#include <string>
#include <string_view>

namespace portrelay {

std::string escapeNonUtf8(std::string_view bytes);

}  // namespace portrelay
