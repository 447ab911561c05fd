#pragma once
// The file system as the program uses it: UTF-8 paths, each backend converts to the system's form.
// Every operation reports failure by its result and never throws.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/types.hpp"

namespace qiwa {

// A file being written piece by piece (a download on its way to disk). Closed when destroyed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(const unsigned char* data, std::size_t size) = 0;
  // Makes what was written so far durable on the disk (before the file replaces another); false on failure.
  virtual bool flush() = 0;
  // False when a write or the close itself failed (a full disk may only say so here).
  virtual bool close() = 0;
};

// A regular file as a folder listing or a look at one path sees it.
struct FileInfo {
  Text name;                    // the name in its folder (a listing); empty from file_info
  std::uint64_t size = 0;
  std::int64_t modified_ms = 0;  // last write, milliseconds since 1970-01-01 UTC
};

// Held while one copy of the program writes a store; let go when destroyed (or when the process ends).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// replace_file's temporaries are "<target's name>.<unique><suffix>" beside the target: a write killed
// midway leaves one, which nothing reads and the store's next start removes.
inline constexpr std::string_view kReplaceTemporarySuffix = ".qiwa-tmp";

// A file read at any offset while others may go on writing, renaming or deleting it (a song that is
// still downloading). Closed when destroyed.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Up to size bytes from offset; fewer, or none, past the end as the file stands now, or on a failure.
  virtual std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) = 0;
  // The file's size as it stands now.
  virtual std::uint64_t size() = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // The executable's directory, no trailing backslash.
  virtual Text run_directory() = 0;
  // The Windows system directory with exactly one trailing backslash.
  virtual Text system_directory() = 0;
  // True when exactly this path names an existing regular file; "?" and "*" are never wildcards.
  virtual bool exact_exists(std::string_view path) = 0;
  // Creates or truncates and writes the parts in order; false on any failure, and then no partial file stays.
  virtual bool write(std::string_view path, const std::vector<Bytes>& parts) = 0;
  virtual bool remove(std::string_view path) = 0;
  // Renames, only when no file or folder has the target's name: nothing is ever replaced.
  virtual bool move_new(std::string_view from, std::string_view to) = 0;
  // Puts the file `from` in the place of `to`, written through to the disk: `to` is replaced if it is
  // there, and a reader that has it open (sharing deletion, as open_read() does) reads on its old bytes. One step
  // where the system allows it; where a reader keeps it from replacing (Windows before 10, Wine), `to` is
  // renamed aside, `from` takes its name, and the old file is deleted. `from` and `to` are in the same
  // folder. False when it cannot; then both files are as they were.
  virtual bool replace_with(std::string_view from, std::string_view to) = 0;
  // Creates a file for writing only when none of that name exists, so it never truncates one; nullptr
  // when it cannot. Others may read it, and delete or rename it, while it is written.
  virtual std::unique_ptr<OutputFile> create_new(std::string_view path) = 0;
  // Tells this process's temporary files from those of another copy of the program running beside it.
  virtual unsigned process_id() = 0;
  // True while a process of this id runs (and when it cannot be known): a temporary it named is in use.
  virtual bool process_running(unsigned id) = 0;
  // Opens an existing file for reading, sharing it for reading, writing and deleting; nullptr when it
  // cannot (no such file, a directory).
  virtual std::unique_ptr<InputFile> open_read(std::string_view path) = 0;

  // Stores. Puts `bytes` at `path` whole or not at all: they go to a new temporary file beside it, are
  // flushed to the disk, and only then take the old file's place in one step. Killed at any point, the
  // path holds the old bytes or the new ones. False when the new bytes are not in place.
  virtual bool replace_file(std::string_view path, std::string_view bytes) = 0;
  // The whole file when it exists and holds at most `limit` bytes; nullopt when it cannot be read.
  virtual std::optional<Text> read_file(std::string_view path, std::size_t limit) = 0;
  // Size and time of a regular file; nullopt when there is none at exactly this path.
  virtual std::optional<FileInfo> file_info(std::string_view path) = 0;
  // The regular files directly in a folder (no folders, no recursion), in no particular order.
  virtual std::vector<FileInfo> list_files(std::string_view directory) = 0;
  // True when a file can be made in the folder (one is made and deleted to know).
  virtual bool folder_writable(std::string_view directory) = 0;
  // Makes the folder (its parent must exist); true when it exists now.
  virtual bool make_directory(std::string_view path) = 0;
  // The user's roaming application data folder, no trailing backslash; empty when there is none.
  virtual Text app_data_directory() = 0;
  // Excludes the other copies of the program from the store whose lock file this is; nullptr while
  // another copy holds it.
  virtual std::unique_ptr<FileLock> try_lock(std::string_view path) = 0;

  bool write(std::string_view path, const Bytes& bytes) { return write(path, std::vector<Bytes>{bytes}); }
};

}  // namespace qiwa
