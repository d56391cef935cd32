#pragma once
// The owner that stands for the main form where a test or benchmark builds the model without the
// window: image packs key their form texts by its name.
#include "calendar/MirModel.h"
#include "foundation/KVClasses.h"

namespace kvtest {

class FormComponent : public TComponent {
 public:
  FormComponent() { SetName(kMainFormName); }
  bool IsForm() const override { return true; }
};

}  // namespace kvtest
