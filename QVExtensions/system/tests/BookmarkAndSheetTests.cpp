#include <gtest/gtest.h>

#include <fstream>

#include "QVExtensions/Bookmarks.hpp"
#include "QVExtensions/DismissSheetOrWindow.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "platform/ui/Application.hpp"

namespace QVExtensions {
namespace {

namespace fs = std::filesystem;

platform::Data bytes(std::string_view text) { return platform::Data::fromString(text); }

class Bookmarks : public ::testing::Test {
 protected:
  platform::TemporaryConfigHome home;
  platform::TemporaryDirectory folder;
  std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::suite("bookmark-tests");
  fs::path file = folder.path() / "Roster 1.csv";

  void SetUp() override { std::ofstream(file) << "Name\n"; }
};

TEST_F(Bookmarks, ResolveWhileTheFileExists) {
  setBookmark(*defaults, file, "Datasource");
  EXPECT_EQ(bookmark(*defaults, "Datasource"), file);

  fs::remove(file);
  EXPECT_EQ(bookmark(*defaults, "Datasource"), std::nullopt);
  std::ofstream(file) << "back";
  EXPECT_EQ(bookmark(*defaults, "Datasource"), file);

  setBookmark(*defaults, folder.path(), "Folder");  // folders are locations too
  EXPECT_EQ(bookmark(*defaults, "Folder"), folder.path());

  const fs::path relative = fs::relative(file);
  ASSERT_TRUE(relative.is_relative());
  setBookmark(*defaults, relative, "Relative");
  const auto fromRelative = bookmark(*defaults, "Relative");
  ASSERT_TRUE(fromRelative);
  EXPECT_TRUE(fromRelative->is_absolute());
  EXPECT_TRUE(fs::equivalent(*fromRelative, file));

  // Bookmarks stored before they carried a length and a checksum still resolve.
  defaults->setObject(platform::PropertyList(bytes(std::string("PZBKMK1", 8) + file.native())), "Older");
  EXPECT_EQ(bookmark(*defaults, "Older"), file);
}

TEST_F(Bookmarks, StoredForm) {
  setBookmark(*defaults, fs::path("/"), "Root");
  const auto stored = defaults->objectForKey("Root");
  ASSERT_TRUE(stored && stored->data());
  // Tag, CRC-32 of the length and the path, the path's length, the path.
  EXPECT_EQ(stored->data()->view(), std::string("PZBKMK2\0\x74\xE8\xFB\x05\0\0\0\x01/", 17));
}

TEST_F(Bookmarks, CutShortOrAlteredDataIsAbsent) {
  std::ofstream(folder.path() / "Roster 2.csv") << "Name\n";  // what a changed digit would name
  setBookmark(*defaults, file, "Datasource");
  const std::string whole(defaults->objectForKey("Datasource")->data()->view());
  std::vector<std::string> damaged;
  for (std::size_t size = 0; size < whole.size(); ++size) damaged.push_back(whole.substr(0, size));
  for (std::size_t at = 0; at < whole.size(); ++at)
    for (const char change : {'\x01', '\x03'}) {
      damaged.push_back(whole);
      damaged.back()[at] ^= change;
    }
  damaged.push_back(whole + "/");
  for (const std::string& data : damaged) {
    defaults->setObject(platform::PropertyList(bytes(data)), "Datasource");
    EXPECT_EQ(bookmark(*defaults, "Datasource"), std::nullopt) << platform::PropertyList(bytes(data)).description();
  }
}

TEST_F(Bookmarks, NoLocationOrAMissingOneRemovesTheKey) {
  for (const std::optional<fs::path>& location :
       {std::optional<fs::path>(), std::optional(folder.path() / "missing.csv"), std::optional(fs::path())}) {
    setBookmark(*defaults, file, "Datasource");
    ASSERT_TRUE(defaults->objectForKey("Datasource"));
    setBookmark(*defaults, location, "Datasource");
    EXPECT_EQ(defaults->objectForKey("Datasource"), std::nullopt);
    EXPECT_EQ(bookmark(*defaults, "Datasource"), std::nullopt);
  }
}

TEST_F(Bookmarks, ForeignOrCutShortDataIsAbsent) {
  const std::string path = file.native();
  const std::optional<platform::PropertyList> values[] = {
      std::nullopt,
      platform::PropertyList(path),
      platform::PropertyList(bytes("")),
      platform::PropertyList(bytes("PZBKMK")),
      platform::PropertyList(bytes(std::string("PZBKMK1", 8))),
      platform::PropertyList(bytes("PZBKMK1/" + path)),
      platform::PropertyList(bytes("PZBKMK2" + std::string(1, '\0') + path)),
      platform::PropertyList(bytes(std::string("PZBKMK1", 8) + "Roster 1.csv")),
      platform::PropertyList(bytes(std::string("PZBKMK1", 8) + path + std::string(1, '\0'))),
      platform::PropertyList(bytes("book\0\0\0\x02mark")),
  };
  for (const auto& value : values) {
    defaults->setObject(value, "Datasource");
    EXPECT_EQ(bookmark(*defaults, "Datasource"), std::nullopt) << (value ? value->description() : "none");
  }
  EXPECT_EQ(bookmark(*defaults, "Never set"), std::nullopt);
}

TEST(DismissSheetOrWindow, EndsTheKeySheetOnlyWhenThereIsAMainWindow) {
  auto& application = platform::ui::Application::shared();
  struct Case {
    bool shown;
    bool withSheet;
    bool sheetEnded;
  };
  const Case cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
  for (const auto& c : cases) {
    application.reset();
    const auto window = platform::ui::Window::make();
    if (c.shown) window->makeKeyAndOrderFront();
    std::vector<platform::ui::ModalResponse> responses;
    if (c.withSheet)
      platform::ui::Alert::make()->beginSheetModal(window, [&](auto response) { responses.push_back(response); });

    platform::ui::PresentationMode presentation;
    dismissSheetOrWindow(presentation);
    platform::MainQueue::shared().drain();
    EXPECT_FALSE(presentation.isPresented());
    EXPECT_EQ(window->attachedSheet() == nullptr, !c.withSheet || c.sheetEnded);
    EXPECT_EQ(responses, c.sheetEnded ? std::vector{platform::ui::modalResponseStop}
                                      : std::vector<platform::ui::ModalResponse>{});
    EXPECT_EQ(window->isVisible(), c.shown);  // the window itself stays as it was
  }
  application.reset();
}

}  // namespace
}  // namespace QVExtensions
