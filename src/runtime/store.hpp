#pragma once
// A store: one of the program's own files (the settings, the library), kept in memory, read at start
// and written whole at most once a second through Files::replace_file, so that a process killed at any
// point leaves the old file or the new one. A damaged file is set aside as "<name>.broken-<date>" and
// the program goes on with what could be read. Two copies of the program in one folder take turns
// through a lock file, and each merges what the other wrote before writing its own.
#include <atomic>
#include <mutex>
#include <optional>

#include "runtime/clock.hpp"
#include "runtime/files.hpp"

namespace qiwa {

// The folder of the program's stores: beside the program when it may write there, else
// `<roaming application data>\<folder_name>` (made when missing). The program's folder when neither can
// be had (every write then fails and says so).
Text store_directory(Files& files, std::string_view folder_name);

// A local time (ms since 1970 as the user's clock reads it) as "YYYYMMDD-HHMMSS".
Text date_stamp(std::int64_t local_ms);

// What reading a store's bytes found.
struct StoreRead {
  bool damaged = false;  // cut, garbage, another program's file: set aside, what was read is kept
  bool newer = false;    // written by a newer version in a form this one cannot write back: read only
};

class Store {
 public:
  virtual ~Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Reads the file (at start; a worker may do it). Leftovers of a killed write are removed first.
  void load();
  // True when there are changes to write and the last write was at least a second ago (`now_ms` on the
  // steady clock).
  bool write_due(std::int64_t now_ms) const;
  // Writes the changes now, merged with what another copy wrote meanwhile; any thread. False when
  // nothing was written (no change, read only, the other copy writing, a failure: then kept for later).
  bool write(std::int64_t now_ms);
  // write() when due: for the app's timer, armed while dirty().
  bool flush_due(std::int64_t now_ms) { return write_due(now_ms) && write(now_ms); }
  // Writes what is left at exit.
  bool flush(std::int64_t now_ms) { return dirty() && write(now_ms); }
  bool dirty() const { return dirty_; }
  bool read_only() const { return read_only_; }
  // One line for the window's title when something went wrong with the file; empty once taken.
  Text take_message();
  const Text& path() const { return path_; }

 protected:
  // `what` names the store in messages ("曲库").
  Store(Files& files, Clock& clock, Text path, std::size_t limit, Text what);
  // Reads the file's bytes into the model, merging with what it holds (at start it holds nothing).
  virtual StoreRead absorb(std::string_view bytes) = 0;
  // The model's bytes to write; calls take_changes() under the same lock the model changes under.
  virtual Text encode() = 0;
  // Whether the bytes encode() gave reached the disk (when not, they are written again later).
  virtual void written(bool ok) { (void)ok; }
  // A change to write; called under the model's lock.
  void changed() { dirty_ = true; }
  // Called by encode() under the model's lock: what it encodes now is what the write takes.
  void take_changes() { dirty_ = false; }

  Files& files_;
  Clock& clock_;

 private:
  void remove_leftovers();
  // Reads the file's bytes (nullopt: too large to be ours) and deals with what they turned out to be.
  void take_in(const std::optional<Text>& bytes);
  bool set_aside();
  void say(Text message);

  const Text path_, what_;
  const std::size_t limit_;
  std::mutex write_mutex_;  // one write at a time in this process
  mutable std::mutex message_mutex_;
  Text message_;
  std::atomic<bool> dirty_{false}, read_only_{false};
  std::atomic<std::uint64_t> seen_{0};  // a hash of the bytes last read or written
  std::atomic<std::int64_t> last_write_ms_{-1'000'000}, retry_after_ms_{1000};
};

}  // namespace qiwa
