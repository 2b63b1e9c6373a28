// TZipBaseArchiver / TZipArchiver: the ZIP archiver component (reading side).
//
// Use: set FileName, OpenZipFile(mode), set BaseDir, ExtractMatching(mask, attributes,
// exclusion mask), CloseZipFile. Everything runs on the caller's thread; events are
// called synchronously. Errors of the open and of the checks at the start of
// ExtractMatching raise (EZipException, or the stream layer's EFOpenError/EReadError);
// failures of single entries go to OnProcessFileFailure (default: an Abort/Retry/Ignore
// dialog through the runtime's dialog hook) and do not reach the caller, with one
// exception, as designed: an entry whose local header lies past the end of the file
// raises EReadError "Stream read error" out of ExtractMatching (its output removed, the
// run's lock released). Other runtime errors (out of memory) propagate too. After
// ExtractMatching, LastRunAborted() tells whether the run was ended by an Abort (or a
// Cancel from an event) before every selected entry was processed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/Component.h"
#include "runtime/FileStream.h"
#include "zip/ZipDirManager.h"
#include "zip/ZipTypes.h"

class TZipOutputFile;
class TZipAheadEntry;
struct TZipEntryData;

class TZipBaseArchiver : public TComponent {
 public:
  explicit TZipBaseArchiver(TComponent* owner = nullptr);
  ~TZipBaseArchiver() override;

  // --- properties ---
  const AnsiString& FileName() const { return fileName_; }
  void SetFileName(const AnsiString& value) { fileName_ = value; }
  const AnsiString& BaseDir() const { return baseDir_; }
  void SetBaseDir(const AnsiString& value) { baseDir_ = value; }
  TZipOptions& Options() { return options_; }
  const TZipOptions& Options() const { return options_; }
  void SetOptions(const TZipOptions& value) { options_ = value; }
  bool ExtractCorruptedFiles() const { return extractCorruptedFiles_; }
  void SetExtractCorruptedFiles(bool value) { extractCorruptedFiles_ = value; }
  const AnsiString& Password() const { return password_; }
  void SetPassword(const AnsiString& value) { password_ = value; }
  const AnsiString& TempDir() const { return tempDir_; }
  void SetTempDir(const AnsiString& value) { tempDir_ = value; }
  TZipSpanningMode SpanningMode() const { return spanningMode_; }
  // Raises Exception "Cannot set spanning mode on open archive" while an archive is open.
  void SetSpanningMode(TZipSpanningMode value);
  TZipSpanningOptions& SpanningOptions() { return spanningOptions_; }
  void SetSpanningOptions(const TZipSpanningOptions& value) { spanningOptions_ = value; }
  TZipCompressionLevel CompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(TZipCompressionLevel value);
  int CompressionMode() const { return compressionMode_; }
  // 0..9; above 9 raises EZipException code 5. Moves CompressionLevel along.
  void SetCompressionMode(int value);
  AnsiString CurrentVersion() const { return "1.00 "; }
  void SetCurrentVersion(const AnsiString&) {}
  const AnsiString& SFXStub() const { return sfxStub_; }
  void SetSFXStub(const AnsiString& value) { sfxStub_ = value; }
  std::vector<AnsiString>& FileMasks() { return fileMasks_; }
  std::vector<AnsiString>& ExclusionMasks() { return exclusionMasks_; }
  std::vector<AnsiString>& NoCompressionMasks() { return noCompressionMasks_; }
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool value) { inMemory_ = value; }
  TZip64Mode Zip64Mode() const { return zip64Mode_; }
  void SetZip64Mode(TZip64Mode value) { zip64Mode_ = value; }
  bool RecoverMissingDirectory() const { return recoverMissingDirectory_; }
  void SetRecoverMissingDirectory(bool value) { recoverMissingDirectory_ = value; }

  // --- state ---
  bool Active() const { return isOpen_; }
  uint16_t OpenMode() const { return openMode_; }
  // The directory of the open archive (entries in central-directory order).
  int FileCount() const;
  // EZipException code 3 for an index outside the directory, 13 when no archive is open.
  const TDirItem& DirItem(int index) const;
  AnsiString ArchiveComment() const;
  // True when the last ExtractMatching stopped early: a failure answered with Abort, or
  // an event that set Cancel.
  bool LastRunAborted() const { return lastRunAborted_; }
  // Entries of the last ExtractMatching whose failure was answered with Ignore (or
  // that failed and were let go by Abort).
  int LastRunFailures() const { return lastRunFailures_; }

  // --- operations ---
  void OpenZipFile(uint16_t mode);
  // Chooses the mode itself: create when InMemory or the file is missing, else
  // read-write deny-write when possible, else read deny-none.
  void OpenZipFile();
  // Never raises.
  void CloseZipFile();
  void ExtractMatching(const AnsiString& NameMask, uint16_t SearchAttr, const AnsiString& ExcludeMask);

  // --- events (unassigned: the default stated with each dispatcher) ---
  TZipFileProgressEvent OnFileProgress;
  TZipOverallProgressEvent OnOverallProgress;
  TZipConfirmOverwriteEvent OnConfirmOverwrite;
  TZipConfirmProcessFileEvent OnConfirmProcessFile;
  TZipNotifyEvent AfterOpen;
  TZipPasswordEvent OnPassword;
  TZipProcessFileFailureEvent OnProcessFileFailure;
  TZipRequestVolumeEvent OnRequestBlankVolume;
  TZipRequestFirstLastVolumeEvent OnRequestFirstVolume;
  TZipRequestFirstLastVolumeEvent OnRequestLastVolume;
  TZipRequestVolumeEvent OnRequestMiddleVolume;
  TZipDiskFullEvent OnDiskFull;
  TZipStoreFileEvent OnStoreFile;
  TZipExtractFileEvent OnExtractFile;

 protected:
  // Method code for new entries (writing side).
  virtual int GetMethodForNewEntries() const { return 0; }
  virtual void DoOverallProgress(double progress, TZipProcessOperation operation, TZipProgressPhase phase,
                                 bool& cancel);
  virtual void DoFileProgress(const AnsiString& fileName, double progress, TZipProcessOperation operation,
                              TZipProgressPhase phase, bool& cancel);
  // Default: a Yes/No/No to All/Yes to All question.
  virtual void DoConfirmOverwrite(const AnsiString& sourceFileName, AnsiString& destFileName, bool& confirm);
  virtual void DoConfirmProcessFile(const AnsiString& fileName, TZipProcessOperation operation, bool& confirm);
  // Default: the password input box; cancelling it skips the entry.
  virtual void DoPassword(const AnsiString& fileName, AnsiString& newPassword, bool& skipFile);
  // Default: the Abort/Retry/Ignore question.
  virtual void DoProcessFileFailure(const AnsiString& fileName, TZipProcessOperation operation, int nativeError,
                                    int errorCode, const AnsiString& errorMessage, TZipAction& action);
  virtual void DoExtractFile(AnsiString& fileName, uint32_t& fileAttr, const AnsiString& comment);

  TZip64Mode zip64Mode_ = zmAuto;

 private:
  struct TRunState;
  void ProcessSelected(TZipProcessOperation operation);
  void SelectMatching(const AnsiString& nameMask, uint16_t searchAttr, const AnsiString& excludeMask);
  // One attempt at one entry (name with "\" separators); raises EZipException on failure.
  // written: the entry's output as a worker left it (taken when it fits what the
  // entry's events decided, removed otherwise).
  void ExtractItem(int index, const AnsiString& name, const AnsiString& base, TRunState& run,
                   TZipAheadEntry& written);
  struct TDestination;
  // The folder (made when CreateDirs) and the file an entry goes to; false for a folder
  // entry, which is done once its folder exists.
  bool ChooseDestination(const TDirItem& item, const AnsiString& name, const AnsiString& base, TRunState& run,
                         TDestination& dest);
  // Whether an existing file may be replaced, by ReplaceReadOnly and OverwriteMode (an
  // OnConfirmOverwrite handler may choose another destination).
  bool MayOverwrite(const TDirItem& item, const AnsiString& name, TDestination& dest, TRunState& run);
  // Decodes the entry into a new output and puts it in place.
  void WriteItem(const TDirItem& item, const AnsiString& name, uint32_t attr, TDestination& dest, TRunState& run);
  // Decodes an entry's data into out; returns false when the entry failed its checks.
  bool DecodeItem(const TDirItem& item, const AnsiString& name, TZipOutputFile& out, TRunState& run);
  // The progress events before one block of an entry's data; true when one cancelled.
  bool BlockProgress(const AnsiString& name, uint64_t consumed, uint64_t size, TRunState& run);
  // Finds an entry's data behind its local header and, for an encrypted entry, checks
  // the password and reads the encryption header. False when the entry fails (or the
  // user declined a password: run.skipFile is then set).
  bool OpenEntryData(const TDirItem& item, const AnsiString& name, TRunState& run, TZipEntryData& data);
  // Asks for passwords until one fits the entry's encryption header; false when the
  // user declined (run.skipFile is then set) or the header cannot be read.
  bool CheckPassword(const TZipLocalHeader& local, const AnsiString& name, int64_t dataPos, TRunState& run);

  AnsiString fileName_, baseDir_, password_, tempDir_, sfxStub_;
  TZipOptions options_;
  TZipSpanningOptions spanningOptions_;
  bool extractCorruptedFiles_ = false;
  TZipSpanningMode spanningMode_ = smNone;
  TZipCompressionLevel compressionLevel_ = clFastest;
  int compressionMode_ = 1;
  std::vector<AnsiString> fileMasks_, exclusionMasks_, noCompressionMasks_;
  bool inMemory_ = false;
  bool recoverMissingDirectory_ = true;

  bool isOpen_ = false;
  uint16_t openMode_ = 0;
  std::unique_ptr<TFileStream> stream_;
  std::unique_ptr<TZipDirManager> directory_;
  int updateCount_ = 0;
  bool lastRunAborted_ = false;
  int lastRunFailures_ = 0;
};

class TZipArchiver : public TZipBaseArchiver {
 public:
  explicit TZipArchiver(TComponent* owner = nullptr);

 protected:
  int GetMethodForNewEntries() const override { return CompressionMode() > 0 ? 8 : 0; }
};
