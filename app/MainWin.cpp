// Launcher window.
#include "app/MainWin.h"

#include "framework/Properties.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(framework::TComponent* owner) : TForm(owner) {}

const framework::ClassRegistry& TForm1::DescriptionClasses() const {
  static const framework::ClassRegistry classes;
  return classes;
}

const framework::PropertyTable& TForm1::ClassProperties() {
  static const framework::PropertyTable table("TForm1", &framework::TForm::ClassProperties());
  return table;
}
