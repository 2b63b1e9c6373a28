// Internal to the zip reader; not part of its interface.
// Entries written ahead of the processing loop by a few worker threads.
//
// Unpacking many small files leaves most of a run to the kernel's file creation, which
// a few threads get through sooner than one. Everything a caller sees stays on the
// loop's thread and in the archive's order: the loop fires every event of every entry
// as before, and takes an entry written ahead in its turn as if it had just written it.
// A worker writes only what the loop would write when no handler intervenes:
//  - a file entry of one input block: stored or deflated, not encrypted, sizes known;
//  - into a folder that is there already (workers make no folder);
//  - under a name where nothing is (created exclusively: overwrite rules and their
//    questions stay with the loop);
//  - whose name no earlier entry of the run uses, as a file or as a folder.
// Anything else, and every entry a worker could not write whole (damaged data, a full
// disk, a name that appeared meanwhile), the loop does itself in its turn, so failures,
// questions and answers come as they always did. What the loop does not take (the run
// ended early, an event declined the entry or changed a name or a destination) is
// removed again: no file written ahead outlives a run that would not have written it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "runtime/FileStream.h"
#include "zip/ZipDirManager.h"
#include "zip/ZipOutput.h"

struct TZipAheadJob;

// An entry's output as a worker left it; removed with the object unless accepted.
class TZipAheadEntry {
 public:
  explicit TZipAheadEntry(std::shared_ptr<TZipAheadJob> job = nullptr) : job_(std::move(job)) {}
  TZipAheadEntry(TZipAheadEntry&&) = default;
  TZipAheadEntry& operator=(TZipAheadEntry&& other) noexcept;
  ~TZipAheadEntry() { Discard(); }

  // True when the worker wrote the entry whole and put it in place.
  bool Written() const;
  // Keeps the file: the loop takes it as its own output.
  void Accept() { job_.reset(); }
  // Removes what was written.
  void Discard();

 private:
  std::shared_ptr<TZipAheadJob> job_;
};

// What the workers need to know of the run; fixed when the writer is made.
struct TZipAheadSettings {
  AnsiString base;         // the base folder, ending in a separator
  bool setAttributes = true;
  bool flush = true;
};

class TZipAheadWriter {
 public:
  // items must not change while the writer lives; stream stays open as long.
  TZipAheadWriter(TFileStream& stream, const TZipDirArray& items, TZipAheadSettings settings);
  ~TZipAheadWriter();
  TZipAheadWriter(const TZipAheadWriter&) = delete;
  TZipAheadWriter& operator=(const TZipAheadWriter&) = delete;

  const TZipAheadSettings& Settings() const { return settings_; }
  // Hands entries from next on (the entry the loop takes next) to the workers, up to
  // a window ahead of the loop.
  void Fill(int next);
  // The output written ahead for entry index, waiting for its worker; an empty one
  // (not Written) when the entry was not handed out.
  TZipAheadEntry Take(int index);
  // Ends writing ahead for the rest of the run: waits for the workers and removes
  // whatever they wrote that the loop has not taken.
  void Stop();

 private:
  struct TPlan;
  bool PlanEntry(int index, TPlan& plan) const;
  void Remember(const TPlan& plan);
  std::shared_ptr<const TZipFolder> FolderFor(const std::vector<std::string>& parts);
  void Queue(int index, const TDirItem& item, std::shared_ptr<const TZipFolder> folder, const std::string& leaf);
  // Starts one worker per core; false when not even one could be started.
  bool StartWorkers();
  void Work();

  TFileStream& stream_;
  const TZipDirArray& items_;
  const TZipAheadSettings settings_;
  bool enabled_ = true;
  size_t hits_ = 0, misses_ = 0;  // entries taken written ahead, and not
  int scan_ = 0;  // the next entry to consider
  // Names (components joined by "/") that earlier entries use as a file or a folder.
  std::unordered_set<std::string> names_;
  TZipFolder baseFolder_;
  std::vector<std::string> lastParts_;
  std::shared_ptr<const TZipFolder> lastFolder_;

  std::mutex mutex_;
  std::condition_variable workAdded_, workDone_;
  std::deque<std::shared_ptr<TZipAheadJob>> waiting_;  // not yet started by a worker
  std::deque<std::shared_ptr<TZipAheadJob>> ahead_;    // handed out, not yet taken, in entry order
  int running_ = 0;
  bool quitting_ = false;
  std::vector<std::thread> threads_;
};
