// ExtractMatching: selection of entries, the processing loop with its events and
// failure handling, and the extraction of one entry into the base folder.
#include <unistd.h>

#include <mutex>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "zip/ZipAhead.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipRunState.h"
#include "zip/ZipConst.h"
#include "zip/ZipExcept.h"
#include "zip/ZipMasks.h"
#include "zip/ZipNames.h"
#include "zip/ZipOutput.h"

namespace {

// Held by every archiver for its whole processing loop, so archivers on two threads
// never process entries at the same time. It is re-entrant: a run started on the same
// thread from inside a run (an event handler calling ExtractMatching) is not held off
// but runs nested in the outer one.
std::recursive_mutex& ProcessLock() {
  static std::recursive_mutex lock;
  return lock;
}

AnsiString MaskForSearch(const AnsiString& mask, TZipStorePathMode storePath) {
  AnsiString m = mask;
  if (storePath != spFullPathWithDrive) m.erase(0, ZipExtractFileDrive(m).size());
  return ZipReplaceSeparator(m, '\\', '/');
}

// The folder part ("\" separators, up to and including the last "\") of a name with "/" separators.
AnsiString FolderOf(const AnsiString& slashName) {
  const AnsiString name = ZipReplaceSeparator(slashName, '/', '\\');
  const size_t last = ZipLastDelimiter(name, "\\");
  return last == AnsiString::npos ? AnsiString() : name.substr(0, last + 1);
}

// Components in the system's encoding back to an ANSI path part for messages.
AnsiString Join(const std::vector<std::string>& sysParts) {
  AnsiString out;
  for (const std::string& part : sysParts) out += Utf8ToAnsi(part) + "\\";
  return out;
}

}  // namespace

// --- selection ------------------------------------------------------------------------

void TZipBaseArchiver::SelectMatching(const AnsiString& nameMask, uint16_t searchAttr,
                                      const AnsiString& excludeMask) {
  const AnsiString mask = MaskForSearch(nameMask, options_.StorePath);
  const AnsiString exclude = MaskForSearch(excludeMask, options_.StorePath);
  const AnsiString maskFolder = FolderOf(mask);
  // Entries with these attributes are selected only when SearchAttr has them too.
  const uint32_t filtered = faHidden | faSysFile | faVolumeID | faDirectory;
  for (int i = 0; i < directory_->Items.Count(); ++i) {
    TDirItem& item = directory_->Items.Items(i);
    item.Selected = false;
    AnsiString bare = item.FileName;
    if (!bare.empty() && bare.back() == '/') bare.pop_back();
    if (!options_.Recurse && FolderOf(bare) != maskFolder) continue;
    if (!ZipNameMatches(item.FileName, mask)) continue;
    if (item.Header.ExternalAttributes & filtered & ~static_cast<uint32_t>(searchAttr)) continue;
    if (!exclude.empty() && ZipNameMatches(item.FileName, exclude)) continue;
    item.Selected = true;
  }
}

void TZipBaseArchiver::ExtractMatching(const AnsiString& NameMask, uint16_t SearchAttr,
                                       const AnsiString& ExcludeMask) {
  if (!isOpen_ || !directory_) throw EZipException(zecNotOpen, this);
  if (updateCount_ > 0) throw EZipException(zecUpdatePending, this);
  SelectMatching(NameMask, SearchAttr, ExcludeMask);
  ProcessSelected(poExtract);
}

// --- processing loop -----------------------------------------------------------------------

void TZipBaseArchiver::ProcessSelected(TZipProcessOperation operation) {
  std::lock_guard<std::recursive_mutex> guard(ProcessLock());
  TRunState run;
  lastRunAborted_ = false;
  lastRunFailures_ = 0;
  for (int i = 0; i < directory_->Items.Count(); ++i) run.selected += directory_->Items.Items(i).Selected ? 1 : 0;

  AnsiString base = baseDir_;
  if (base.empty()) {
    char cwd[4096];
    base = ::getcwd(cwd, sizeof cwd) ? SysPathToAnsi(cwd) : AnsiString(".");
  }
  if (base.back() != '\\' && base.back() != '/') base += "\\";

  DoOverallProgress(0, operation, ppStart, run.cancel);
  if (run.cancel) {
    lastRunAborted_ = true;
    return;
  }
  // Made last, so that it ends first: what it wrote ahead and the loop did not take is
  // removed however the loop ends.
  std::unique_ptr<TZipAheadWriter> ahead;
  if (operation == poExtract && options_.CreateDirs && run.selected > 1)
    ahead = std::make_unique<TZipAheadWriter>(*stream_, directory_->Items,
                                              TZipAheadSettings{base, options_.SetAttributes, options_.FlushBuffers});
  run.ahead = ahead.get();
  bool aborted = false;
  for (int i = 0; i < directory_->Items.Count() && !run.cancel && !aborted; ++i) {
    TDirItem& item = directory_->Items.Items(i);
    if (!item.Selected) continue;
    item.Operation = operation;
    TZipAheadEntry written;
    if (ahead) {
      ahead->Fill(i);
      written = ahead->Take(i);
    }
    TZipAction action = fxaIgnore;
    do {
      action = fxaIgnore;
      const AnsiString name = ZipReplaceSeparator(item.FileName, '/', '\\');
      try {
        bool confirm = true;
        DoConfirmProcessFile(name, operation, confirm);
        if (!confirm) break;
        DoFileProgress(name, 0, operation, ppStart, run.cancel);
        if (run.cancel) break;
        ExtractItem(i, name, base, run, written);
        const bool cancelled = run.cancel;
        DoFileProgress(name, 100, operation, ppEnd, run.cancel);
        run.cancel = run.cancel || cancelled;
        if (!run.cancel) ++run.processed;
      } catch (const EZipException& e) {
        run.Forget();
        DoProcessFileFailure(name, operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
        if (action != fxaRetry) ++lastRunFailures_;
      }
    } while (action == fxaRetry);
    if (action == fxaAbort) aborted = true;
  }
  lastRunAborted_ = aborted || run.cancel;
  DoOverallProgress(100, operation, ppEnd, run.cancel);
}

// --- folders of a run ---------------------------------------------------------------------

const TZipFolder& TZipBaseArchiver::TRunState::Folder(const AnsiString& base, const std::vector<std::string>& parts,
                                                      bool create) {
  if (!baseFolder_.IsOpen()) {
    baseFolder_ = TZipFolder::Open(base, create);
    lastFolder_ = TZipFolder();
  }
  if (!lastFolder_.IsOpen() || parts != lastParts_) {
    lastFolder_ = baseFolder_.Descend(parts, create);
    lastParts_ = parts;
  }
  return lastFolder_;
}

void TZipBaseArchiver::TRunState::Forget() {
  baseFolder_ = TZipFolder();
  lastFolder_ = TZipFolder();
  lastParts_.clear();
}

// --- one entry ----------------------------------------------------------------------------------

// Where one entry's output goes.
struct TZipBaseArchiver::TDestination {
  const TZipFolder* folder = nullptr;
  TZipFolder chosenFolder;  // a folder an overwrite handler chose
  std::string leaf;         // the file's name in the folder, in the system's encoding
  AnsiString path;          // the whole path, for messages
  TZipDestInfo existing;    // what is there now
};

void TZipBaseArchiver::ExtractItem(int index, const AnsiString& storedName, const AnsiString& base, TRunState& run,
                                   TZipAheadEntry& written) {
  const TDirItem& item = directory_->Items.Items(index);
  AnsiString name = storedName;
  uint32_t attr = item.Header.ExternalAttributes;
  DoExtractFile(name, attr, item.Comment);
  if (run.ahead && (name != storedName || attr != item.Header.ExternalAttributes ||
                    !options_.CreateDirs || options_.SetAttributes != run.ahead->Settings().setAttributes ||
                    options_.FlushBuffers != run.ahead->Settings().flush)) {
    // A handler chose differently from what the workers assumed: from here on the loop
    // writes every entry itself.
    written.Discard();
    run.ahead->Stop();
  }
  if (written.Written()) {
    // Written ahead as the loop would have written it: only the events of its data are left.
    if (item.CompressedSize() > 0 && BlockProgress(name, 0, item.CompressedSize(), run)) {
      written.Discard();
      return;
    }
    written.Accept();
    return;
  }
  written.Discard();
  TDestination dest;
  if (!ChooseDestination(item, name, base, run, dest)) return;
  if (dest.existing.Exists && !MayOverwrite(item, name, dest, run)) return;
  // An existing folder is never replaced.
  if (dest.existing.IsFolder) throw EZipException(zecCannotCreateFile, {dest.path}, this);
  WriteItem(item, name, attr, dest, run);
}

bool TZipBaseArchiver::ChooseDestination(const TDirItem& item, const AnsiString& name, const AnsiString& base,
                                         TRunState& run, TDestination& dest) {
  // Every output stays below the base folder: a name that would leave it is refused.
  std::vector<std::string> parts;
  bool isFolderName = false;
  if (!ZipSplitSafeName(name, parts, isFolderName)) throw EZipException(zecCannotCreateFile, {name}, this);
  if (!isFolderName) {
    dest.leaf = parts.back();
    parts.pop_back();
  }
  if (options_.CreateDirs) {
    dest.folder = &run.Folder(base, parts, true);
    if (!dest.folder->IsOpen()) throw EZipException(zecCannotCreateFolder, {base + Join(parts)}, this);
    dest.path = base + Join(parts) + Utf8ToAnsi(dest.leaf);
  } else {
    dest.folder = &run.Folder(base, {}, false);
    dest.path = base + Utf8ToAnsi(dest.leaf);
  }
  // A folder entry is done once its folder exists. Some tools (bsdtar) mark folders only
  // by the trailing "/" of the name, without the directory attribute; they are folders too.
  if (item.IsDirectory() || isFolderName) return false;
  if (dest.leaf.empty() || !dest.folder->IsOpen()) throw EZipException(zecCannotCreateFile, {dest.path}, this);
  dest.existing = ZipInspect(*dest.folder, dest.leaf);
  return true;
}

bool TZipBaseArchiver::MayOverwrite(const TDirItem& item, const AnsiString& name, TDestination& dest,
                                    TRunState& run) {
  if (!options_.ReplaceReadOnly && dest.existing.ReadOnly) return false;
  switch (options_.OverwriteMode) {
    case omAlways: return true;
    case omNever: return false;
    case omIfNewer: return dest.existing.DosDateTime < item.DosDateTime();
    case omIfOlder: return dest.existing.DosDateTime > item.DosDateTime();
    case omPrompt: break;
  }
  bool confirm = true;
  AnsiString chosen = dest.path;
  DoConfirmOverwrite(name, chosen, confirm);
  if (!confirm || chosen == dest.path) return confirm;
  // The handler chose another path (the application's own choice, taken as given), maybe
  // one a later entry was written ahead to.
  if (run.ahead) run.ahead->Stop();
  const size_t slash = ZipLastDelimiter(chosen, "\\/");
  dest.chosenFolder = TZipFolder::Open(slash == AnsiString::npos ? AnsiString() : chosen.substr(0, slash + 1), false);
  dest.folder = &dest.chosenFolder;
  dest.leaf = AnsiToUtf8(slash == AnsiString::npos ? chosen : chosen.substr(slash + 1));
  dest.path = chosen;
  if (!dest.folder->IsOpen() || dest.leaf.empty()) throw EZipException(zecCannotCreateFile, {dest.path}, this);
  dest.existing = ZipInspect(*dest.folder, dest.leaf);
  return true;
}

void TZipBaseArchiver::WriteItem(const TDirItem& item, const AnsiString& name, uint32_t attr, TDestination& dest,
                                 TRunState& run) {
  TZipOutputFile out;
  if (!out.Create(*dest.folder, dest.leaf, dest.existing, &run.spare))
    throw EZipException(zecCannotCreateFile, {dest.path}, this);
  out.SetWriteBehind(options_.FlushBuffers);
  run.skipFile = false;
  const bool ok = DecodeItem(item, name, out, run);
  if (run.cancel || run.skipFile) return;  // out's destructor removes the partial file
  if (!ok && !extractCorruptedFiles_) throw EZipException(zecBadEntry, this);
  if (!out.Commit(FileDateToDateTime(item.DosDateTime()), options_.SetAttributes, attr, options_.FlushBuffers))
    throw EZipException(zecCannotCreateFile, {dest.path}, this);
}
