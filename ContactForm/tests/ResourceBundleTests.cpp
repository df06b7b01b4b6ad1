#include <gtest/gtest.h>

#include <fstream>

#include "FormFixture.hpp"
#include "ResourceBundle.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "platform/ui/Window.hpp"

namespace ContactForm {
namespace {

namespace fs = std::filesystem;
using platform::ui::InterfaceNode;

// Each runs in a fresh process: the cached lookup and the window are the parent's otherwise.
class FormDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

TEST(BundleLookup, TakesTheFirstCandidateHoldingTheBundleAsAFolder) {
  platform::TemporaryDirectory temporary;
  const fs::path root = temporary.path();
  const fs::path name = "ZUZuzazev_ContactForm.bundle";
  fs::create_directories(root / "a" / name);
  fs::create_directories(root / "b" / name);
  fs::create_directories(root / "c" / name);
  write(root / "file" / name, "not a folder");
  fs::create_directories(root / "empty");
  struct Case {
    std::array<fs::path, 3> candidates;
    fs::path expected;
  };
  const Case cases[] = {
      {{root / "a", root / "b", root / "c"}, root / "a" / name},
      {{root / "missing", root / "b", root / "c"}, root / "b" / name},
      {{root / "empty", root / "missing", root / "c"}, root / "c" / name},
      {{root / "file", fs::path(), root / "b"}, root / "b" / name},
  };
  for (const auto& c : cases) EXPECT_EQ(findBundle(c.candidates), c.expected) << c.candidates[0];

  // In this build the bundle sits in the build tree's resource folder, the first candidate.
  const auto candidates = bundleCandidates();
  EXPECT_EQ(resourceBundle(), fs::weakly_canonical(fs::path(PZ_BINARY_DIR) / "share/pelmora-zava" / name));
  EXPECT_EQ(resourceBundle(), candidates[0] / name);
  EXPECT_EQ(candidates[1], candidates[0]);  // the module is linked into the program
}

TEST_F(FormDeathTest, NoBundleStopsTheProcess) {
  platform::TemporaryDirectory temporary;
  const auto missing = temporary.path() / "missing";
  EXPECT_DEATH(findBundle({missing, missing / "a", missing / "b"}), "^unable to find bundle named ZUZuzazev_ContactForm\n");
}

TEST_F(FormDeathTest, ABrokenInterfaceFileStopsTheProcess) {
  std::ifstream shipped(resourceBundle() / "ContactFormViewController.json");
  const nlohmann::json sound = nlohmann::json::parse(shipped);
  const auto without = [&](const nlohmann::json::json_pointer& pointer) {
    nlohmann::json broken = sound;
    broken[pointer.parent_pointer()].erase(pointer.back());
    return broken.dump();
  };
  auto mistyped = sound;
  mistyped["outlets"]["nameField"] = "send";  // a button where a text field belongs
  auto unknown = sound;
  unknown["outlets"]["sendButon"] = "send";
  auto strangeControl = sound;
  strangeControl["view"]["rows"][1][0]["type"] = "slider";
  auto twoWithOneId = sound;
  twoWithOneId["view"]["rows"][2][0]["id"] = "send";
  struct Case {
    const char* name;
    std::optional<std::string> text;  // nothing: no file
  };
  const Case cases[] = {
      {"missing", std::nullopt},
      {"unparsable", R"({"view": )"},
      {"not an object", "[]"},
      {"no outlet bodyField", without("/outlets/bodyField"_json_pointer)},
      {"no action cancelAction:", without("/view/rows/2/0/action"_json_pointer)},
      {"outlet of the wrong kind", mistyped.dump()},
      {"unknown outlet", unknown.dump()},
      {"unknown control", strangeControl.dump()},
      {"two views of one id", twoWithOneId.dump()},
  };
  platform::TemporaryDirectory temporary;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path bundle = temporary.path() / c.name;
    fs::create_directories(bundle);
    if (c.text) write(bundle / "ContactFormViewController.json", *c.text);
    EXPECT_DEATH(platform::ui::Window::withContentViewController(std::make_shared<ContactFormViewController>(
                     InterfaceNode::read("ContactFormViewController", bundle))),
                 // The folder is the child process's own.
                 "^unable to load ContactFormViewController from /.*/" + std::string(c.name) +
                     "/ContactFormViewController.json\n");
  }
}

class FormFromNode : public testing::FormTest {};

TEST_F(FormFromNode, IsTheFormTheBundleGives) {
  platform::ScopedInfoDictionary dictionary(testing::applicationInfo());
  auto node = InterfaceNode::read("ContactFormViewController", resourceBundle());
  const auto form = std::make_shared<ContactFormViewController>(std::move(node));
  EXPECT_FALSE(form->nameField());  // until the view is loaded
  EXPECT_FALSE(form->formCanSend());
  EXPECT_EQ(form->versionString(), "Pelmora 1.2 (42)");
  const auto window = platform::ui::Window::withContentViewController(form);

  ASSERT_TRUE(form->emailGridView() && form->nameField() && form->emailField() && form->subjectField() &&
              form->bodyField() && form->debugEmailButton() && form->sendButton() && form->cancelButton());
  EXPECT_EQ(form->subjectField()->stringValue(), "Pelmora Feedback");
  EXPECT_TRUE(form->emailGridView()->row(*form->emailGridView()->rowOf(*form->debugEmailButton())).hidden);
  EXPECT_FALSE(form->sendButton()->isEnabled());
  form->bodyField()->edit("Hi");
  EXPECT_TRUE(form->sendButton()->isEnabled());
  window->makeKeyAndOrderFront();
  form->nameField()->setStringValue("Ann");
  form->cancelButton()->press();
  EXPECT_EQ(window->attachedSheet()->messageText(), "Are you sure you want to cancel?");
}

}  // namespace
}  // namespace ContactForm
