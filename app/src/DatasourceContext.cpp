#include "DatasourceContext.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "QVExtensions/ParallelRanges.hpp"
#include "Ravelin/DecodedFile.hpp"

namespace Pelmora_Zava {
namespace {

// The records of one range come out of a few large blocks: a million small ones grow each
// worker thread's heap a page at a time, one system call each. The blocks go when the last
// record made in them does.
class RecordArena {
 public:
  explicit RecordArena(std::size_t chunkBytes) : chunkBytes_(chunkBytes) {}
  void* take(std::size_t bytes, std::size_t alignment) {
    std::size_t start = (used_ + alignment - 1) & ~(alignment - 1);
    if (chunks_.empty() || start + bytes > size_) {
      size_ = std::max(chunkBytes_, bytes + alignment);
      chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size_));
      start = 0;
      while (reinterpret_cast<std::uintptr_t>(chunks_.back().get() + start) % alignment != 0) ++start;
    }
    used_ = start + bytes;
    return chunks_.back().get() + start;
  }

 private:
  std::size_t chunkBytes_;
  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::size_t size_ = 0;
  std::size_t used_ = 0;
};

template <typename T>
struct ArenaAllocator {
  using value_type = T;
  explicit ArenaAllocator(std::shared_ptr<RecordArena> records) : arena(std::move(records)) {}
  template <typename U>
  ArenaAllocator(const ArenaAllocator<U>& other) : arena(other.arena) {}
  T* allocate(std::size_t n) { return static_cast<T*>(arena->take(n * sizeof(T), alignof(T))); }
  void deallocate(T*, std::size_t) noexcept {}
  template <typename U>
  friend bool operator==(const ArenaAllocator& a, const ArenaAllocator<U>& b) {
    return a.arena == b.arena;
  }

  std::shared_ptr<RecordArena> arena;
};

}  // namespace

std::optional<std::string_view> DatasourceContext::find(std::size_t row, std::string_view key,
                                                        std::string& scratch) const {
  if (!view_.headers().empty() && key.starts_with(headerPrefix_)) {
    if (auto column = view_.lookup().find(key.substr(headerPrefix_.size()))) {
      RecordCSV::CSVReader::Row fields = view_[row];
      if (*column < fields.size()) return fields[*column];
      return std::nullopt;  // a short row has no field here: the header's entry is removed
    }
  }
  if (key == "Datasource") return datasource_ ? std::optional<std::string_view>(*datasource_) : std::nullopt;
  if (key == "Index") {
    scratch = std::to_string(row + 1);
    return std::string_view(scratch);
  }
  return std::nullopt;
}

std::map<std::string, std::string> DatasourceContext::entries(std::size_t row) const {
  return entries(row, view_.record(row), view_.headers(), datasource_, headerPrefix_);
}

std::map<std::string, std::string> DatasourceContext::entries(std::size_t position,
                                                              const RecordCSV::CSVReader::Record& record,
                                                              const std::vector<std::string>& headers,
                                                              const std::optional<std::string>& datasource,
                                                              std::string_view headerPrefix) {
  std::map<std::string, std::string> context;
  context["Index"] = std::to_string(position + 1);
  if (datasource) context["Datasource"] = *datasource;
  for (const std::string& header : headers) {
    std::string key = std::string(headerPrefix) + header;
    if (auto field = record[header])
      context[key] = std::string(*field);
    else
      context.erase(key);
  }
  return context;
}

std::vector<std::shared_ptr<Filename>> makeDatasourceFilenames(const std::shared_ptr<const DatasourceContext>& table,
                                                               const std::optional<std::string>& header) {
  const DatasourceContext::FileView& view = table->view();
  std::optional<std::size_t> column;
  if (header && !view.headers().empty()) column = view.lookup().find(*header);
  std::vector<std::shared_ptr<Filename>> names(view.size());
  QVExtensions::parallelRanges(view.size(), [&](std::size_t begin, std::size_t end) {
    // The records of one range share a reference count of their own, so that threads do not
    // contend for the table's.
    auto holder = std::make_shared<std::shared_ptr<const DatasourceContext>>(table);
    std::shared_ptr<const TokenContext::Table> local(holder, holder->get());
    // A record with its reference counts and this allocator takes less than this.
    constexpr std::size_t recordBytes = sizeof(Filename) + 64;
    const ArenaAllocator<Filename> allocator(std::make_shared<RecordArena>((end - begin) * recordBytes));
    for (std::size_t i = begin; i < end; ++i) {
      RecordCSV::CSVReader::Row row = view[i];
      std::string name = column && *column < row.size() ? std::string(row[*column]) : Ravelin::joinedFields(row);
      names[i] = std::allocate_shared<Filename>(allocator, std::move(name), false, TokenContext(local, i));
    }
  });
  return names;
}

}  // namespace Pelmora_Zava
