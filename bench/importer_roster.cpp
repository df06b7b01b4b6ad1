// One import as a whole process, for side-by-side timing:
//   importer-roster FILE [--change]
// imports FILE with the default settings and prints "names=N"; with --change it then
// switches the illegal-character replacement to hyphens once more.

#include <cstdio>
#include <cstring>
#include <exception>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "platform/core/Log.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: importer-roster FILE [--change]\n");
    return 2;
  }
  platform::setLogSink(nullptr);
  try {
    Pelmora_Zava::AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
    importer.importURL(argv[1]);
    if (argc > 2 && std::strcmp(argv[2], "--change") == 0)
      importer.updateExportConfig([](Ravelin::CSVExportConfig& config) {
        config.replaceIllegalChars = Ravelin::TextReplacement::hyphen;
      });
    std::printf("names=%zu\n", importer.fileNames().size());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
