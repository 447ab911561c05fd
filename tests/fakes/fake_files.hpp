#pragma once
// An in-memory file system with Windows' rules where the program meets them: "\" separates, a directory
// is no file, a move and a creation never take a name that is there, an open file can still be read,
// deleted or renamed (the share modes the program asks for); only a replacement takes a name that is there.
// A test can make the disk fail: full after some bytes, or refusing to create, read, move or replace a path.
#include <functional>
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
  bool move_new(std::string_view from, std::string_view to) override;
  // Refuses a file with bytes written since its last flush: what is not on the disk must not replace.
  bool replace_file(std::string_view from, std::string_view to) override;
  std::unique_ptr<OutputFile> create_new(std::string_view path) override;
  std::unique_ptr<InputFile> open(std::string_view path) override;
  unsigned process_id() override { return 4242; }
  using Files::write;

  // Setting the scene.
  void put(std::string_view path, std::string_view content = "x");
  void make_directory(std::string_view path);
  // The disk is full once this many more bytes are written (nullopt: never).
  void fill_disk_after(std::optional<std::size_t> bytes);
  // Creating, writing into, reading, moving to or from, or removing a path that contains `part` fails.
  void refuse(std::string_view part);
  // Only exactly this path fails so (not the files beside it named after it).
  void refuse_exactly(std::string_view path);
  // Replacing fails, as when a reader holds the target open on Windows before 10.
  void fail_replacements() { fail_replacements_ = true; }
  // Runs before each creation of a file, with its path (another program making a file meanwhile, say).
  void before_create(std::function<void(std::string_view)> hook);

  // Looking at it.
  std::optional<Text> read(std::string_view path) const;
  std::set<Text> names_in(std::string_view directory) const;  // file names directly in it
  std::vector<Text> created() const;                          // every path created for writing, in order
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
  std::set<Text> refused_exactly_;
  bool fail_replacements_ = false;
  std::vector<Text> created_;
  std::set<Text> unflushed_;
  std::function<void(std::string_view)> before_create_;
};

}  // namespace qiwa::fakes
