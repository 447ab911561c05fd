#pragma once
// The file system as the program uses it: UTF-8 paths, each backend converts to the system's form.
// Every operation reports failure by its result and never throws.
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

// A file being read from its start, piece by piece.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Up to `size` bytes into data: how many came, 0 at the end, nothing when the read failed.
  virtual std::optional<std::size_t> read(unsigned char* data, std::size_t size) = 0;
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
  // there, and a reader that has it open (sharing deletion, as open() does) reads on its old bytes. One step
  // where the system allows it; where a reader keeps it from replacing (Windows before 10, Wine), `to` is
  // renamed aside, `from` takes its name, and the old file is deleted. `from` and `to` are in the same
  // folder. False when it cannot; then both files are as they were.
  virtual bool replace_file(std::string_view from, std::string_view to) = 0;
  // Creates a file for writing only when none of that name exists, so it never truncates one; nullptr
  // when it cannot. Others may read it, and delete or rename it, while it is written.
  virtual std::unique_ptr<OutputFile> create_new(std::string_view path) = 0;
  // Opens an existing file for reading without keeping anyone else from writing, renaming or deleting it;
  // nullptr when it cannot.
  virtual std::unique_ptr<InputFile> open(std::string_view path) = 0;
  // Tells this process's temporary files from those of another copy of the program running beside it.
  virtual unsigned process_id() = 0;

  bool write(std::string_view path, const Bytes& bytes) { return write(path, std::vector<Bytes>{bytes}); }
};

}  // namespace qiwa
