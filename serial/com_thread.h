// The event thread of an open port: it waits on the device for the port's
// serial events and hands each batch to the port. The port creates it in
// CreateEventThread and destroys it in DestroyEventThread.
#pragma once

#include "serial/component.h"

namespace quillet::serial {

class TComThread : public TObject {
 public:
  std::wstring ClassName() const override { return L"TComThread"; }
};

}  // namespace quillet::serial
