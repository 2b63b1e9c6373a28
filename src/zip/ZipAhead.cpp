#include "zip/ZipAhead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "runtime/FileUtils.h"
#include "zip/ZipNames.h"
#include "zip/ZipRecords.h"
#include "zip/ZipRunState.h"

namespace {

// How many entries may be handed out and not yet taken: enough to keep the workers
// busy while the loop fires one entry's events, few enough that an early end of the
// run has little to remove.
constexpr size_t kAheadWindow = 32;

std::string JoinNames(const std::vector<std::string>& parts, size_t count) {
  std::string joined;
  for (size_t i = 0; i < count; ++i) joined += (i ? "/" : "") + parts[i];
  return joined;
}

}  // namespace

// One entry handed to the workers: what it needs (copied from the directory on the
// loop's thread) and how it ended. The state is guarded by the writer's mutex.
struct TZipAheadJob {
  int index = 0;
  std::shared_ptr<const TZipFolder> folder;
  std::string leaf;
  int64_t headerPos = 0;
  uint64_t compressedSize = 0;
  TZipEntryFacts facts;
  time_t mtime = -1;  // converted on the loop's thread (the time zone is read there only)
  uint32_t attr = 0;
  bool setAttributes = true, flush = true;

  bool done = false;
  bool written = false;

  // Writes the entry whole and puts it in place, or leaves nothing.
  bool Write(TFileStream& stream, std::vector<uint8_t>& input, std::vector<uint8_t>& output) const {
    try {
      TZipLocalHeader local;
      TZipEntryData data;
      data.pos = ZipEntryDataPos(stream, headerPos, local);
      data.size = compressedSize;
      TZipOutputFile out;
      if (!out.CreateNew(*folder, leaf)) return false;
      out.SetWriteBehind(flush);
      return ZipDecodeEntry(stream, data, facts, input, output, out, nullptr) &&
             out.Commit(mtime, setAttributes, attr, flush);
    } catch (...) {
      return false;  // the loop meets the same failure in its turn and reports it there
    }
  }

  void Remove() const {
    if (written) ::unlinkat(folder->Fd(), leaf.c_str(), 0);
  }
};

// --- the output the loop takes -------------------------------------------------------

TZipAheadEntry& TZipAheadEntry::operator=(TZipAheadEntry&& other) noexcept {
  if (this != &other) {
    Discard();
    job_ = std::move(other.job_);
  }
  return *this;
}

bool TZipAheadEntry::Written() const { return job_ && job_->written; }

void TZipAheadEntry::Discard() {
  if (job_) job_->Remove();
  job_.reset();
}

// --- handing entries out -------------------------------------------------------------

struct TZipAheadWriter::TPlan {
  std::vector<std::string> parts;  // folder components, in the system's encoding
  std::string leaf;                // empty for a folder entry
  bool writable = false;           // a worker may write it
  // The file's name below the base folder, as its folders are named in names_.
  std::string FileName() const { return parts.empty() ? leaf : JoinNames(parts, parts.size()) + "/" + leaf; }
};

TZipAheadWriter::TZipAheadWriter(TFileStream& stream, const TZipDirArray& items, TZipAheadSettings settings)
    : stream_(stream), items_(items), settings_(std::move(settings)) {}

TZipAheadWriter::~TZipAheadWriter() {
  Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quitting_ = true;
  }
  workAdded_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool TZipAheadWriter::PlanEntry(int index, TPlan& plan) const {
  const TDirItem& item = items_.Items(index);
  bool isFolderName = false;
  if (!ZipSplitSafeName(ZipReplaceSeparator(item.FileName, '/', '\\'), plan.parts, isFolderName)) return false;
  if (!isFolderName) {
    plan.leaf = plan.parts.back();
    plan.parts.pop_back();
  }
  const uint16_t method = item.Header.Method;
  plan.writable = !item.IsDirectory() && !plan.leaf.empty() &&
                  (method == kZipMethodStored || method == kZipMethodDeflated) &&
                  !(item.Header.Flags & kZipFlagEncrypted) && !item.DescriptorMissing &&
                  item.CompressedSize() <= kZipInputChunk && !names_.count(plan.FileName());
  return true;
}

void TZipAheadWriter::Remember(const TPlan& plan) {
  for (size_t n = 1; n <= plan.parts.size(); ++n) names_.insert(JoinNames(plan.parts, n));
  if (!plan.leaf.empty()) names_.insert(plan.FileName());
}

std::shared_ptr<const TZipFolder> TZipAheadWriter::FolderFor(const std::vector<std::string>& parts) {
  if (lastFolder_ && parts == lastParts_) return lastFolder_;
  if (!baseFolder_.IsOpen()) baseFolder_ = TZipFolder::Open(settings_.base, false);
  auto folder = std::make_shared<const TZipFolder>(baseFolder_.Descend(parts, false));
  if (!folder->IsOpen()) return nullptr;
  lastParts_ = parts;
  lastFolder_ = folder;
  return folder;
}

void TZipAheadWriter::Fill(int next) {
  // Where most entries come back unwritten (a folder extracted before: every name is
  // taken), writing ahead only adds work; the loop goes on alone.
  if (misses_ >= kAheadWindow && misses_ > 4 * hits_) enabled_ = false;
  if (!enabled_) return;
  // Entries the loop has passed without their being handed out still claim their names.
  for (TPlan plan; scan_ < next; ++scan_, plan = TPlan())
    if (items_.Items(scan_).Selected && PlanEntry(scan_, plan)) Remember(plan);
  for (; enabled_ && scan_ < items_.Count() && ahead_.size() < kAheadWindow; ++scan_) {
    const TDirItem& item = items_.Items(scan_);
    TPlan plan;
    if (!item.Selected || !PlanEntry(scan_, plan)) continue;
    std::shared_ptr<const TZipFolder> folder;
    if (plan.writable && !(folder = FolderFor(plan.parts))) {
      // A folder still to be made: the loop makes it when it comes to the entry.
      if (scan_ > next) return;
      plan.writable = false;
    }
    Remember(plan);
    if (plan.writable) Queue(scan_, item, std::move(folder), plan.leaf);
  }
}

void TZipAheadWriter::Queue(int index, const TDirItem& item, std::shared_ptr<const TZipFolder> folder,
                            const std::string& leaf) {
  if (threads_.empty() && !StartWorkers()) {
    enabled_ = false;  // no thread to be had: the loop writes every entry itself
    return;
  }
  auto job = std::make_shared<TZipAheadJob>();
  job->index = index;
  job->folder = std::move(folder);
  job->leaf = leaf;
  job->headerPos = static_cast<int64_t>(item.LocalHeaderOffset);
  job->compressedSize = item.CompressedSize();
  job->facts = TZipEntryFacts::Of(item);
  job->mtime = FileDateToDateTime(item.DosDateTime());
  job->attr = item.Header.ExternalAttributes;
  job->setAttributes = settings_.setAttributes;
  job->flush = settings_.flush;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(job);
    ahead_.push_back(std::move(job));
  }
  workAdded_.notify_one();
}

bool TZipAheadWriter::StartWorkers() {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  try {
    for (unsigned i = 0; i < cores; ++i) threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // As many as the system gave.
  }
  return !threads_.empty();
}

TZipAheadEntry TZipAheadWriter::Take(int index) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::shared_ptr<TZipAheadJob> job;
  while (!ahead_.empty() && ahead_.front()->index <= index) {
    job = ahead_.front();
    ahead_.pop_front();
    workDone_.wait(lock, [&] { return job->done; });
    if (job->index < index) job->Remove();  // passed by the loop: not wanted
    else ++(job->written ? hits_ : misses_);
  }
  return TZipAheadEntry(job && job->index == index ? std::move(job) : nullptr);
}

void TZipAheadWriter::Stop() {
  enabled_ = false;
  std::deque<std::shared_ptr<TZipAheadJob>> left;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.clear();
    workDone_.wait(lock, [&] { return running_ == 0; });
    left.swap(ahead_);
  }
  for (const auto& job : left) job->Remove();
}

void TZipAheadWriter::Work() {
  std::vector<uint8_t> input(kZipInputChunk), output(kZipOutputChunk);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workAdded_.wait(lock, [&] { return quitting_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    std::shared_ptr<TZipAheadJob> job = waiting_.front();
    waiting_.pop_front();
    ++running_;
    lock.unlock();
    const bool written = job->Write(stream_, input, output);
    lock.lock();
    job->written = written;
    job->done = true;
    --running_;
    workDone_.notify_all();
  }
}
