// Reads the CSV file it is given and prints each record's fields joined by "|", then makes
// the feedback form from its resource bundle and prints its send button's title.
#include <filesystem>
#include <iostream>
#include <memory>

#include "ContactForm/ContactFormViewController.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/ui/Window.hpp"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    const auto file = RecordCSV::CSVReader::decode(std::filesystem::path(argv[1]), RecordCSV::CSVReader::Configuration{});
    for (const auto& row : file) {
      const auto fields = row.toVector();
      for (std::size_t i = 0; i < fields.size(); ++i) std::cout << (i ? "|" : "") << fields[i];
      std::cout << '\n';
    }
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  const auto form = std::make_shared<ContactForm::ContactFormViewController>();
  const auto window = platform::ui::Window::withContentViewController(form);
  std::cout << "form: " << form->sendButton()->title() << '\n';
}
