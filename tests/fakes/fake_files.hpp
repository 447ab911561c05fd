#pragma once
// An in-memory file system with Windows' rules where the program meets them: "\" separates, a directory
// is no file, a move replaces its target, an open file can still be deleted (the share mode the program
// asks for). A test can make the disk fail: full after some bytes, or refusing to create or move a path.
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "runtime/files.hpp"

namespace qiwa::fakes {

class FakeFiles : public Files {
 public:
  explicit FakeFiles(Text run_directory = "C:\\Qiwa", Text system_directory = "C:\\Windows\\system32\\");

  Text run_directory() override { return run_directory_; }
  Text system_directory() override { return system_directory_; }
  bool exact_exists(std::string_view path) override;
  bool write(std::string_view path, const std::vector<Bytes>& parts) override;
  bool remove(std::string_view path) override;
  bool move(std::string_view from, std::string_view to) override;
  std::unique_ptr<OutputFile> create(std::string_view path) override;
  // Reads the bytes under the path as they stand at each read, so a file being written is seen to grow;
  // unlike Windows' handle it does not follow the file when it is moved or deleted.
  std::unique_ptr<InputFile> open_read(std::string_view path) override;
  using Files::write;

  // Setting the scene.
  void put(std::string_view path, std::string_view content = "x");
  void make_directory(std::string_view path);
  // The disk is full once this many more bytes are written (nullopt: never).
  void fill_disk_after(std::optional<std::size_t> bytes);
  // Creating, writing into, moving to or from, or removing a path that contains `part` fails.
  void refuse(std::string_view part);

  // Looking at it.
  std::optional<Text> read(std::string_view path) const;
  std::set<Text> names_in(std::string_view directory) const;  // file names directly in it
  bool is_directory(std::string_view path) const;

 private:
  friend class FakeOutputFile;
  friend class FakeInputFile;
  bool refused(std::string_view path) const;
  bool take_space(std::size_t bytes);  // false once the disk is full
  bool parent_exists(std::string_view path) const;

  mutable std::mutex mutex_;
  Text run_directory_, system_directory_;
  std::map<Text, Text> files_;
  std::set<Text> directories_;
  std::optional<std::size_t> space_;
  std::vector<Text> refused_;
};

}  // namespace qiwa::fakes
