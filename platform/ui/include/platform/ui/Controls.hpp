#pragma once
// The controls of the headless view layer: state that code and tests set and read, with
// the notifications a person's edits would send. Everything here belongs to the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

class View {
 public:
  virtual ~View() = default;
  bool isHidden() const noexcept { return hidden_; }
  void setHidden(bool hidden) noexcept { hidden_ = hidden; }

 private:
  bool hidden_ = false;
};

class TextField : public View {
 public:
  const std::string& stringValue() const noexcept { return stringValue_; }
  void setStringValue(std::string text) { stringValue_ = std::move(text); }

 private:
  std::string stringValue_;
};

class TextViewDelegate {
 public:
  virtual ~TextViewDelegate() = default;
  /// After each edit a person makes (not after `setString`).
  virtual void textDidChange() = 0;
};

class TextView : public View {
 public:
  const std::string& string() const noexcept { return text_; }
  /// Replaces the text as code does: the delegate hears nothing.
  void setString(std::string text) { text_ = std::move(text); }
  /// Replaces the text as a person's edit does: the delegate is told.
  void edit(std::string text);
  void setDelegate(std::weak_ptr<TextViewDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  std::string text_;
  std::weak_ptr<TextViewDelegate> delegate_;
};

class Button : public View {
 public:
  enum State : int { off = 0, on = 1, mixed = -1 };

  explicit Button(std::string title = {}) : title_(std::move(title)) {}
  const std::string& title() const noexcept { return title_; }
  int state() const noexcept { return state_; }
  void setState(int state) noexcept { state_ = state; }
  bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool enabled) noexcept { enabled_ = enabled; }
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  /// A click: runs the action when the button is enabled, and nothing otherwise.
  void press();

 private:
  std::string title_;
  int state_ = off;
  bool enabled_ = true;
  std::function<void()> action_;
};

/// Rows of views; a row can be hidden as a whole.
class GridView : public View {
 public:
  struct Row {
    std::vector<std::shared_ptr<View>> views;
    bool hidden = false;
  };

  void addRow(std::vector<std::shared_ptr<View>> views) { rows_.push_back({std::move(views), false}); }
  std::size_t numberOfRows() const noexcept { return rows_.size(); }
  Row& row(std::size_t index) { return rows_.at(index); }
  const Row& row(std::size_t index) const { return rows_.at(index); }
  /// The row that holds the view, if any.
  std::optional<std::size_t> rowOf(const View& view) const;

 private:
  std::vector<Row> rows_;
};

/// The presentation state of a view shown modally; `dismiss` ends it.
class PresentationMode {
 public:
  bool isPresented() const noexcept { return presented_; }
  void dismiss() noexcept { presented_ = false; }

 private:
  bool presented_ = true;
};

}  // namespace platform::ui
