// ExtractMatching: selection of entries, the processing loop with its events and
// failure handling, and the extraction of one entry into the base folder.
#include <unistd.h>

#include <mutex>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipRunState.h"
#include "zip/ZipExcept.h"
#include "zip/ZipMasks.h"
#include "zip/ZipNames.h"
#include "zip/ZipOutput.h"

namespace {

// Two archivers never process entries at the same time.
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
  const uint32_t filtered = 0x02 | 0x04 | 0x08 | 0x10;
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
  if (!isOpen_ || !directory_) throw EZipException(13, this);
  if (updateCount_ > 0) throw EZipException(26, this);
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
  bool aborted = false;
  for (int i = 0; i < directory_->Items.Count() && !run.cancel && !aborted; ++i) {
    TDirItem& item = directory_->Items.Items(i);
    if (!item.Selected) continue;
    item.Operation = operation;
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
        ExtractItem(i, name, base, run);
        const bool cancelled = run.cancel;
        DoFileProgress(name, 100, operation, ppEnd, run.cancel);
        run.cancel = run.cancel || cancelled;
        if (!run.cancel) ++run.processed;
      } catch (const EZipException& e) {
        DoProcessFileFailure(name, operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
        if (action != fxaRetry) ++lastRunFailures_;
      }
    } while (action == fxaRetry);
    if (action == fxaAbort) aborted = true;
  }
  lastRunAborted_ = aborted || run.cancel;
  DoOverallProgress(100, operation, ppEnd, run.cancel);
}

// --- one entry ----------------------------------------------------------------------------------

void TZipBaseArchiver::ExtractItem(int index, const AnsiString& storedName, const AnsiString& base, TRunState& run) {
  const TDirItem& item = directory_->Items.Items(index);
  AnsiString name = storedName;
  uint32_t attr = item.Header.ExternalAttributes;
  DoExtractFile(name, attr, item.Comment);

  // Every output stays below the base folder: a name that would leave it is refused.
  std::vector<std::string> parts;
  bool isFolderName = false;
  if (!ZipSplitSafeName(name, parts, isFolderName)) throw EZipException(19, {name}, this);
  std::string leaf = isFolderName ? std::string() : parts.back();
  if (!isFolderName) parts.pop_back();

  TZipFolder folder;
  AnsiString dest;
  if (options_.CreateDirs) {
    folder = TZipFolder::Open(base, true).Descend(parts, true);
    if (!folder.IsOpen()) throw EZipException(20, {base + Join(parts)}, this);
    dest = base + Join(parts) + Utf8ToAnsi(leaf);
  } else {
    folder = TZipFolder::Open(base, false);
    dest = base + Utf8ToAnsi(leaf);
  }
  // A folder entry is done once its folder exists. Some tools (bsdtar) mark folders only
  // by the trailing "/" of the name, without the directory attribute; they are folders too.
  if (item.IsDirectory() || isFolderName) return;
  if (leaf.empty() || !folder.IsOpen()) throw EZipException(19, {dest}, this);

  TZipDestInfo existing = ZipInspect(folder, leaf);
  if (existing.Exists) {
    if (!options_.ReplaceReadOnly && existing.ReadOnly) return;
    switch (options_.OverwriteMode) {
      case omAlways: break;
      case omNever: return;
      case omIfNewer:
        if (existing.DosDateTime >= item.DosDateTime()) return;
        break;
      case omIfOlder:
        if (existing.DosDateTime <= item.DosDateTime()) return;
        break;
      case omPrompt: {
        bool confirm = true;
        AnsiString chosen = dest;
        DoConfirmOverwrite(name, chosen, confirm);
        if (!confirm) return;
        if (chosen != dest) {
          // The handler chose another path (the application's own choice, taken as given).
          const size_t slash = ZipLastDelimiter(chosen, "\\/");
          folder = TZipFolder::Open(slash == AnsiString::npos ? AnsiString() : chosen.substr(0, slash + 1), false);
          leaf = AnsiToUtf8(slash == AnsiString::npos ? chosen : chosen.substr(slash + 1));
          dest = chosen;
          if (!folder.IsOpen() || leaf.empty()) throw EZipException(19, {dest}, this);
          existing = ZipInspect(folder, leaf);
        }
        break;
      }
    }
  }
  // An existing folder is never replaced.
  if (existing.IsFolder) throw EZipException(19, {dest}, this);

  TZipOutputFile out;
  if (!out.Create(folder)) throw EZipException(19, {dest}, this);
  run.skipFile = false;
  const bool ok = DecodeItem(item, name, out, run);
  if (run.cancel || run.skipFile) return;  // out's destructor removes the partial file
  if (!ok && !extractCorruptedFiles_) throw EZipException(8, this);
  if (!out.Commit(leaf, item.DosDateTime(), options_.SetAttributes, attr, options_.FlushBuffers))
    throw EZipException(19, {dest}, this);
}
