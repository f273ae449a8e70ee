// The errors a child element of a control raises. They end the property
// procedure or event handler that caused them and reach its caller; the
// remaining child updates of that procedure are skipped.
#pragma once

#include <stdexcept>
#include <string>

#include "glyphkey/export.h"

namespace glyphkey {

class GLYPHKEY_EXPORT PropertyError : public std::runtime_error {
 public:
  enum class Code {
    TypeMismatch = 13,           // a stored value cannot become the property's type
    InvalidPropertyValue = 380,  // the value is outside what the property accepts
  };

  PropertyError(Code code, const std::string& what) : std::runtime_error(what), code_(code) {}
  Code code() const { return code_; }

 private:
  Code code_;
};

}  // namespace glyphkey
