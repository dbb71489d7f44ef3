// The launcher window: never shown, stored minimised, carrying the launcher's components.
#pragma once

#include "framework/Forms.h"

class TForm1 : public framework::TForm {
 public:
  explicit TForm1(framework::TComponent* owner);

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  const framework::ClassRegistry& DescriptionClasses() const override;
};

// The launcher window, set before its construction runs.
extern TForm1* Form1;
