// Form descriptions: parsing, loading through the property table, saving without stored defaults.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "framework/FormText.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Properties.h"

using namespace framework;

namespace {

enum class TSampleMode { smFirst, smSecond, smThird };

// A component with a property of every kind; each setter and Loaded write to the root's log.
class TSample : public TComponent {
 public:
  explicit TSample(TComponent* owner) : TComponent(owner) {}

  bool Flag() const { return flag_; }
  void SetFlag(bool value) {
    Log("Flag");
    flag_ = value;
  }
  int Count() const { return count_; }
  void SetCount(int value) {
    Log("Count");
    count_ = value;
  }
  TSampleMode Mode() const { return mode_; }
  void SetMode(TSampleMode value) {
    Log("Mode");
    mode_ = value;
  }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value) {
    Log("Title");
    title_ = value;
  }
  TStringList& Lines() { return lines_; }
  TSample* Partner() const { return partner_; }
  void SetPartner(TSample* value) {
    Log("Partner");
    partner_ = value;
  }
  const TNotifyEvent& OnPing() const { return onPing_; }
  void SetOnPing(TNotifyEvent value) { Log("OnPing"), onPing_ = std::move(value); }

  void Loaded() override {
    TComponent::Loaded();
    Log(std::string("Loaded with partner ") + (partner_ != nullptr ? partner_->Name() : "none"));
  }

  static const PropertyTable& ClassProperties() {
    static const PropertyTable table = [] {
      PropertyTable t("TSample", &TComponent::ClassProperties());
      t.Boolean("Flag", &TSample::Flag, &TSample::SetFlag, true)
          .Integer("Count", &TSample::Count, &TSample::SetCount, 5)
          .Enumeration("Mode", &TSample::Mode, &TSample::SetMode, {"smFirst", "smSecond", "smThird"})
          .String("Title", &TSample::Title, &TSample::SetTitle)
          .Strings("Lines", &TSample::Lines)
          .Reference("Partner", &TSample::Partner, &TSample::SetPartner)
          .EventHandler("OnPing", &TSample::OnPing, &TSample::SetOnPing);
      return t;
    }();
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }

 private:
  void Log(const std::string& what);

  bool flag_ = true;
  int count_ = 5;
  TSampleMode mode_ = TSampleMode::smFirst;
  std::string title_;
  TStringList lines_;
  TSample* partner_ = nullptr;
  TNotifyEvent onPing_;
};

class TSampleRoot : public TDataModule {
 public:
  explicit TSampleRoot(TComponent* owner) : TDataModule(owner) {
    PublishMethod("RootPing", &TSampleRoot::RootPing);
    PublishMethod("RootCount", &TSampleRoot::RootCount);
  }
  void RootPing(TObject* sender) { pings.push_back(sender); }
  void RootCount(TObject*, int) {}  // a method of another parameter list than OnPing's

  static const PropertyTable& ClassProperties() {
    static const PropertyTable table("TSampleRoot", &TDataModule::ClassProperties());
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }

  std::vector<std::string> log;
  std::vector<TObject*> pings;
};

void TSample::Log(const std::string& what) {
  if (auto* root = framework::ComponentAs<TSampleRoot>(Owner())) {
    root->log.push_back(Name() + "." + what + (IsLoading() ? " (loading)" : ""));
  }
}

ClassRegistry SampleClasses() { return ClassRegistry().Add<TSample>().Add<TPopupMenu>().Add<TMenuItem>(); }

TSample* Sample(const TComponent& root, const char* name) {
  return framework::ComponentAs<TSample>(root.FindComponent(name));
}

}  // namespace

TEST(FormText, StoredValuesGoThroughSettersInDeclarationOrderThenLoaded) {
  TSampleRoot root(nullptr);
  // The text lists the properties out of order and refers to a component read later.
  ReadComponent(root,
                "object Root: TSampleRoot\n"
                "  object One: TSample\n"
                "    OnPing = RootPing\n"
                "    Partner = Two\n"
                "    Title = 'first'\n"
                "    Count = 7\n"
                "    Flag = False\n"
                "  end\n"
                "  object Two: TSample\n"
                "  end\n"
                "end\n",
                SampleClasses());
  const std::vector<std::string> expected = {
      "One.Flag (loading)",  "One.Count (loading)", "One.Title (loading)", "One.OnPing (loading)",
      "One.Partner (loading)", "One.Loaded with partner Two", "Two.Loaded with partner none"};
  EXPECT_EQ(root.log, expected);
  TSample* one = Sample(root, "One");
  ASSERT_NE(one, nullptr);
  EXPECT_FALSE(one->IsLoading());
  EXPECT_EQ(one->Count(), 7);
  EXPECT_EQ(one->Partner(), Sample(root, "Two"));
  ASSERT_TRUE(one->OnPing());
  one->OnPing()(one);
  ASSERT_EQ(root.pings.size(), 1u);
  EXPECT_EQ(root.pings[0], one);
}

TEST(FormText, MissingLinesLeaveTheValuesAfterConstruction) {
  TSampleRoot root(nullptr);
  ReadComponent(root, "object Root: TSampleRoot\n  object One: TSample\n  end\nend\n", SampleClasses());
  TSample* one = Sample(root, "One");
  EXPECT_TRUE(one->Flag());
  EXPECT_EQ(one->Count(), 5);
  EXPECT_EQ(one->Mode(), TSampleMode::smFirst);
  EXPECT_EQ(root.log, std::vector<std::string>{"One.Loaded with partner none"});
}

TEST(FormText, SaveLeavesOutStoredDefaultsAndLoadsBackTheSame) {
  TSampleRoot original(nullptr);
  original.SetName("Root");
  auto* one = new TSample(&original);
  one->SetName("One");
  auto* two = new TSample(&original);
  two->SetName("Two");
  one->SetFlag(true);  // equal to its stored default
  one->SetCount(-3);
  one->SetMode(TSampleMode::smFirst);  // no stored default: always written
  one->SetTitle(std::string("終了 'quoted' ") + "\r\n" + "\xA2" + "x" + "\xA3");
  one->Lines().Add("表");
  one->Lines().Add("");
  one->SetPartner(two);

  const std::string text = WriteComponent(original);
  EXPECT_EQ(text.find("Flag"), std::string::npos) << text;
  EXPECT_NE(text.find("Count = -3"), std::string::npos) << text;
  EXPECT_NE(text.find("Mode = smFirst"), std::string::npos) << text;
  EXPECT_NE(text.find("Partner = Two"), std::string::npos) << text;
  EXPECT_NE(text.find(u8"'\u7D42\u4E86 ''quoted'' '#13#10"), std::string::npos) << text;

  TSampleRoot copy(nullptr);
  ReadComponent(copy, text, SampleClasses());
  TSample* loaded = Sample(copy, "One");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Count(), -3);
  EXPECT_EQ(loaded->Title(), one->Title());
  ASSERT_EQ(loaded->Lines().Count(), 2);
  EXPECT_EQ(loaded->Lines().Strings(0), "表");
  EXPECT_EQ(loaded->Lines().Strings(1), "");
  EXPECT_EQ(loaded->Partner(), Sample(copy, "Two"));
  EXPECT_EQ(WriteComponent(copy), text);
}

TEST(FormText, NestedMenuItemsBelongToTheirMenuAndAreWrittenInsideIt) {
  TSampleRoot root(nullptr);
  // Descriptions are UTF-8 text (u8: the program's own literals are code page 932).
  ReadComponent(root,
                u8"object Root: TSampleRoot\n"
                u8"  object PopupMenu1: TPopupMenu\n"
                u8"    object Exit1: TMenuItem\n"
                u8"      Caption = '\u7D42\u4E86'\n"
                "    end\n"
                "  end\n"
                "end\n",
                SampleClasses());
  auto* menu = framework::ComponentAs<TPopupMenu>(root.FindComponent("PopupMenu1"));
  auto* item = framework::ComponentAs<TMenuItem>(root.FindComponent("Exit1"));
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Owner(), &root);
  ASSERT_EQ(menu->Count(), 1);
  EXPECT_EQ(menu->Items(0), item);
  EXPECT_EQ(item->Caption(), "\x8F\x49\x97\xB9");
  const FormObject saved = DescribeComponent(root);
  ASSERT_EQ(saved.children.size(), 1u);
  ASSERT_EQ(saved.children[0].children.size(), 1u);
  EXPECT_EQ(saved.children[0].children[0].name, "Exit1");

  delete menu;  // its item stays with the root, without a menu
  EXPECT_EQ(item->Menu(), nullptr);
}

TEST(FormText, BadDescriptionsRaiseFormErrors) {
  const char* bad[] = {
      "object Root: TSampleRoot\n  object One: TSample\n    Nope = 1\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TUnknown\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    Count = 'text'\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    Mode = smFourth\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    Partner = Nobody\n  end\nend\n",
      // a reference to a component of another class
      "object Root: TSampleRoot\n  object One: TSample\n    Partner = Menu\n  end\n  object Menu: TPopupMenu\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    OnPing = NoSuchMethod\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    OnPing = RootCount\n  end\nend\n",
      "object Root: TSampleRoot\n  object One: TSample\n    Title = 'open\n  end\nend\n",
      "object Root: TOtherRoot\nend\n",
      "object Root: TSampleRoot\n",
      "\x01\x02\xFF garbage",
      "",
  };
  for (const char* text : bad) {
    TSampleRoot root(nullptr);
    EXPECT_THROW(ReadComponent(root, text, SampleClasses()), EFormError) << text;
  }
}

namespace {
// A polymorphic first base puts the TComponent part of the classes below away from their start, so
// every getter, setter and published method needs its object adjusted on the way.
struct Tally {
  virtual ~Tally() = default;
  int tally = 0;
};

class TMixedRoot : public Tally, public TDataModule {
 public:
  explicit TMixedRoot(TComponent* owner) : TDataModule(owner) { PublishMethod("Bump", &TMixedRoot::Bump); }
  void Bump(TObject*) { ++bumps; }
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table("TMixedRoot", &TDataModule::ClassProperties());
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }
  int bumps = 0;
};

class TMixed : public Tally, public TComponent {
 public:
  explicit TMixed(TComponent* owner) : TComponent(owner) {}
  int Count() const { return count_; }
  void SetCount(int value) { count_ = value; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value) { title_ = value; }
  TMixed* Partner() const { return partner_; }
  void SetPartner(TMixed* value) { partner_ = value; }
  const TNotifyEvent& OnPing() const { return onPing_; }
  void SetOnPing(TNotifyEvent value) { onPing_ = std::move(value); }
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table = [] {
      PropertyTable t("TMixed", &TComponent::ClassProperties());
      t.Integer("Count", &TMixed::Count, &TMixed::SetCount, 0)
          .String("Title", &TMixed::Title, &TMixed::SetTitle)
          .Reference("Partner", &TMixed::Partner, &TMixed::SetPartner)
          .EventHandler("OnPing", &TMixed::OnPing, &TMixed::SetOnPing);
      return t;
    }();
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }

 private:
  int count_ = 0;
  std::string title_;
  TMixed* partner_ = nullptr;
  TNotifyEvent onPing_;
};
}  // namespace

TEST(FormText, ComponentsThatAreNotTheirClassesFirstBaseLoadAndSave) {
  const std::string text =
      "object Root: TMixedRoot\n"
      "  object One: TMixed\n"
      "    Count = 42\n"
      "    Title = 'mixed'\n"
      "    Partner = Two\n"
      "    OnPing = Bump\n"
      "  end\n"
      "  object Two: TMixed\n"
      "  end\n"
      "end\n";
  TMixedRoot root(nullptr);
  ReadComponent(root, text, ClassRegistry().Add<TMixed>());
  auto* one = framework::ComponentAs<TMixed>(root.FindComponent("One"));
  auto* two = framework::ComponentAs<TMixed>(root.FindComponent("Two"));
  ASSERT_NE(one, nullptr);
  ASSERT_NE(static_cast<void*>(one), static_cast<TComponent*>(one));  // the case this test is about
  EXPECT_EQ(one->Count(), 42);
  EXPECT_EQ(one->Title(), "mixed");
  EXPECT_EQ(one->Partner(), two);
  EXPECT_EQ(one->tally, 0);  // nothing written over the other base
  ASSERT_TRUE(one->OnPing());
  one->OnPing()(one);
  EXPECT_EQ(root.bumps, 1);
  EXPECT_EQ(root.tally, 0);
  EXPECT_EQ(WriteComponent(root), text);
}
