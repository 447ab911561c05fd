#pragma once
// The file system as the program uses it: UTF-8 paths, each backend converts to the system's form.
// Every operation reports failure by its result and never throws.
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/types.hpp"

namespace qiwa {

// A file being written piece by piece (a download on its way to disk). Closed when destroyed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(const unsigned char* data, std::size_t size) = 0;
  // False when a write or the close itself failed (a full disk may only say so here).
  virtual bool close() = 0;
};

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
  // Renames, replacing an existing target.
  virtual bool move(std::string_view from, std::string_view to) = 0;
  // Creates or truncates for writing; nullptr when it cannot.
  virtual std::unique_ptr<OutputFile> create(std::string_view path) = 0;
  // Opens an existing file for reading, sharing it for reading, writing and deleting; nullptr when it
  // cannot (no such file, a directory).
  virtual std::unique_ptr<InputFile> open_read(std::string_view path) = 0;

  bool write(std::string_view path, const Bytes& bytes) { return write(path, std::vector<Bytes>{bytes}); }
};

}  // namespace qiwa
