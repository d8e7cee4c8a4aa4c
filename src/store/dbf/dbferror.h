#pragma once

#include <string>

#include "core/error.h"

namespace vkt::dbf {

using ErrorKind = vkt::ErrorKind;

// Every failure of the table engine. The text is shown to the user as it is.
class DbfError : public vkt::Error {
 public:
  using vkt::Error::Error;
};

}  // namespace vkt::dbf
