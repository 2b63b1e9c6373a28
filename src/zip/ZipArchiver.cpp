#include "zip/ZipArchiver.h"

#include <unistd.h>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "runtime/Hooks.h"
#include "zip/ZipConst.h"
#include "zip/ZipExcept.h"
#include "zip/ZipNames.h"

TZipBaseArchiver::TZipBaseArchiver(TComponent* owner) : TComponent(owner) {}

TZipBaseArchiver::~TZipBaseArchiver() { CloseZipFile(); }

TZipArchiver::TZipArchiver(TComponent* owner) : TZipBaseArchiver(owner) { zip64Mode_ = zmDisabled; }

// --- properties -----------------------------------------------------------------

void TZipBaseArchiver::SetSpanningMode(TZipSpanningMode value) {
  if (isOpen_) throw Exception(SZipSpanningModeOnOpen);
  spanningMode_ = value;
}

void TZipBaseArchiver::SetCompressionLevel(TZipCompressionLevel value) {
  static const int kModes[] = {0, 1, 6, 9};
  compressionLevel_ = value;
  compressionMode_ = kModes[value];
}

void TZipBaseArchiver::SetCompressionMode(int value) {
  if (value < 0 || value > 9) throw EZipException(zecCompressionMode, this);
  compressionMode_ = value;
  compressionLevel_ = value == 0 ? clNone : value <= 3 ? clFastest : value <= 6 ? clNormal : clMax;
}

int TZipBaseArchiver::FileCount() const { return directory_ ? directory_->Items.Count() : 0; }

const TDirItem& TZipBaseArchiver::DirItem(int index) const {
  if (!isOpen_ || !directory_) throw EZipException(zecNotOpen, this);
  return directory_->Items.Items(index);
}

AnsiString TZipBaseArchiver::ArchiveComment() const { return directory_ ? directory_->ArchiveComment : ""; }

// --- opening and closing ----------------------------------------------------------

void TZipBaseArchiver::OpenZipFile(uint16_t mode) {
  const size_t delimiter = ZipLastDelimiter(fileName_, "\\/:");
  const AnsiString namePart = delimiter == AnsiString::npos ? fileName_ : fileName_.substr(delimiter + 1);
  if (!inMemory_ && namePart.empty()) throw EZipException(zecBlankFileName, this);
  // No drive of this platform is removable, so a missing file is never a volume to ask for.
  if (mode != fmCreate && !FileExists(fileName_) && spanningMode_ != smSpanning)
    throw EZipException(zecArchiveNotFound, {fileName_}, this);
  if (mode != fmCreate && inMemory_) throw EZipException(zecInMemoryOnly, {fileName_}, this);
  CloseZipFile();
  openMode_ = mode;
  if (mode == fmCreate || inMemory_) {
    // A new archive: an empty directory (the writing side is not part of this reader).
    directory_ = std::make_unique<TZipDirManager>(nullptr);
  } else {
    spanningMode_ = smNone;
    try {
      stream_ = std::make_unique<TFileStream>(fileName_, mode);
      directory_ = std::make_unique<TZipDirManager>(stream_.get());
      if (!recoverMissingDirectory_ && !directory_->FindEndRecord()) throw EZipException(zecDamaged, this);
      directory_->Load(options_.OEMFileNames, this);
    } catch (...) {
      directory_.reset();
      stream_.reset();
      throw;
    }
  }
  isOpen_ = true;
  if (AfterOpen) AfterOpen(this);
}

void TZipBaseArchiver::OpenZipFile() {
  uint16_t mode = fmCreate;
  if (!inMemory_ && FileExists(fileName_)) {
    // A file without any write bit is read-only for every user, root included (see TFileStream).
    const bool writable = ::access(AnsiPathToSys(fileName_).c_str(), R_OK | W_OK) == 0 &&
                          (FileGetAttr(fileName_) & faReadOnly) == 0;
    mode = writable ? (fmOpenReadWrite | fmShareDenyWrite) : (fmOpenRead | fmShareDenyNone);
  }
  OpenZipFile(mode);
}

void TZipBaseArchiver::CloseZipFile() {
  // Nothing is ever pending on the reading side, so there is nothing to commit.
  isOpen_ = false;
  directory_.reset();
  stream_.reset();
}

// --- event dispatchers and their defaults ---------------------------------------------

void TZipBaseArchiver::DoOverallProgress(double progress, TZipProcessOperation operation, TZipProgressPhase phase,
                                         bool& cancel) {
  if (OnOverallProgress) OnOverallProgress(this, progress, operation, phase, cancel);
}

void TZipBaseArchiver::DoFileProgress(const AnsiString& fileName, double progress, TZipProcessOperation operation,
                                      TZipProgressPhase phase, bool& cancel) {
  if (OnFileProgress) OnFileProgress(this, fileName, progress, operation, phase, cancel);
}

void TZipBaseArchiver::DoConfirmOverwrite(const AnsiString& sourceFileName, AnsiString& destFileName,
                                          bool& confirm) {
  if (OnConfirmOverwrite) {
    OnConfirmOverwrite(this, sourceFileName, destFileName, confirm);
    return;
  }
  const int answer = HookMessageDlg(Format(SZipConfirmOverwrite, destFileName.c_str(), sourceFileName.c_str()),
                                    mtConfirmation, {mbYes, mbNo, mbNoToAll, mbYesToAll});
  confirm = answer == mrYes || answer == mrYesToAll;
  if (answer == mrYesToAll) options_.OverwriteMode = omAlways;
  if (answer == mrNoToAll) options_.OverwriteMode = omNever;
}

void TZipBaseArchiver::DoConfirmProcessFile(const AnsiString& fileName, TZipProcessOperation operation,
                                            bool& confirm) {
  if (OnConfirmProcessFile) OnConfirmProcessFile(this, fileName, operation, confirm);
}

void TZipBaseArchiver::DoPassword(const AnsiString& fileName, AnsiString& newPassword, bool& skipFile) {
  if (OnPassword) {
    OnPassword(this, fileName, newPassword, skipFile);
    return;
  }
  if (!HookInputQuery(Format(SZipPasswordCaption, fileName.c_str()), SZipPasswordPrompt, newPassword))
    skipFile = true;
}

void TZipBaseArchiver::DoProcessFileFailure(const AnsiString& fileName, TZipProcessOperation operation,
                                            int nativeError, int errorCode, const AnsiString& errorMessage,
                                            TZipAction& action) {
  if (OnProcessFileFailure) {
    OnProcessFileFailure(this, fileName, operation, nativeError, errorCode, errorMessage, action);
    return;
  }
  const int answer = HookMessageDlg(Format(SZipProcessFileFailure, errorMessage.c_str()), mtConfirmation,
                                    {mbAbort, mbRetry, mbIgnore});
  action = answer == mrRetry ? fxaRetry : answer == mrIgnore ? fxaIgnore : fxaAbort;
}

void TZipBaseArchiver::DoExtractFile(AnsiString& fileName, uint32_t& fileAttr, const AnsiString& comment) {
  if (OnExtractFile) OnExtractFile(this, fileName, fileAttr, comment);
}
