#pragma once
// An in-memory file system with Windows' rules where the program meets them: "\" separates, a directory
// is no file, a move and a creation never take a name that is there, an open file can still be read,
// deleted or renamed (the share modes the program asks for); only a replacement takes a name that is there.
// A test can make the disk fail: full after some bytes, refusing to create, move or replace a path, or the
// process killed at the n-th step that changes the disk.
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
  bool replace_with(std::string_view from, std::string_view to) override;
  std::unique_ptr<OutputFile> create_new(std::string_view path) override;
  unsigned process_id() override;  // 4242, and another after each restart()
  bool process_running(unsigned id) override;
  bool replace_file(std::string_view path, std::string_view bytes) override;
  std::optional<Text> read_file(std::string_view path, std::size_t limit) override;
  std::optional<FileInfo> file_info(std::string_view path) override;
  std::vector<FileInfo> list_files(std::string_view directory) override;
  bool folder_writable(std::string_view directory) override;
  bool make_directory(std::string_view path) override;
  Text app_data_directory() override;
  std::unique_ptr<FileLock> try_lock(std::string_view path) override;
  // Reads the bytes under the path as they stand at each read, so a file being written is seen to grow;
  // unlike Windows' handle it does not follow the file when it is moved or deleted.
  std::unique_ptr<InputFile> open_read(std::string_view path) override;
  using Files::write;

  // Setting the scene. Files put or written from now on carry this time (ms since 1970).
  void set_time(std::int64_t modified_ms);
  void put(std::string_view path, std::string_view content = "x");
  void put(std::string_view path, std::string_view content, std::int64_t modified_ms);
  void make_directories(std::string_view path);  // with every missing parent
  void set_app_data_directory(Text path) { app_data_ = std::move(path); }
  // Another process of this id runs beside the program (another copy of it, say).
  void run_process(unsigned id);
  // The disk is full once this many more bytes are written (nullopt: never).
  void fill_disk_after(std::optional<std::size_t> bytes);
  // Creating, writing into, moving to or from, or removing a path that contains `part` fails.
  void refuse(std::string_view part);
  // Replacing fails, as when a reader holds the target open on Windows before 10.
  void fail_replacements() { fail_replacements_ = true; }
  // Runs before each creation of a file, with its path (another program making a file meanwhile, say).
  void before_create(std::function<void(std::string_view)> hook);
  // Reading a path that contains `part` fails (a file another program holds), through read_file and
  // through a file opened before.
  void refuse_reading(std::string_view part);
  // The process dies at the n-th step (1-based, from now) that changes the disk: that step and every
  // later one fail, as if nothing ran after it. replace_file's steps are: make the temporary, each
  // write of `chunk` bytes, the flush, the rename. restart() is the next run: the disk works again.
  void crash_at_step(std::size_t n, std::size_t chunk = 4096);
  std::size_t steps_taken() const;  // since the last crash_at_step or restart
  void restart();  // also another process: this run's temporaries are a killed run's to the next

  // Looking at it.
  std::optional<Text> read(std::string_view path) const;
  std::set<Text> names_in(std::string_view directory) const;  // file names directly in it
  std::vector<Text> created() const;                          // every path created for writing, in order
  bool is_directory(std::string_view path) const;

 private:
  friend class FakeOutputFile;
  friend class FakeLock;
  struct File {
    Text content;
    std::int64_t modified_ms = 0;
  };
  friend class FakeInputFile;
  bool refused(std::string_view path) const;
  bool reading_refused(std::string_view path) const;
  bool take_space(std::size_t bytes);  // false once the disk is full
  bool parent_exists(std::string_view path) const;
  bool step();  // counts one step that changes the disk; false once the process is dead
  bool writable_file(std::string_view path) const;

  mutable std::mutex mutex_;
  Text run_directory_, system_directory_, app_data_ = "C:\\Users\\Qiwa\\AppData\\Roaming";
  std::map<Text, File> files_;
  std::set<Text> directories_;
  std::set<Text> locks_;
  std::set<unsigned> running_;
  unsigned process_id_ = 4242;
  std::optional<std::size_t> space_;
  std::vector<Text> refused_, refused_reading_;
  std::int64_t now_ms_ = 1'700'000'000'000;
  std::size_t steps_ = 0, chunk_ = 4096, temporaries_ = 0;
  std::optional<std::size_t> crash_at_;
  bool fail_replacements_ = false;
  std::vector<Text> created_;
  std::set<Text> unflushed_;
  std::function<void(std::string_view)> before_create_;
};

}  // namespace qiwa::fakes
