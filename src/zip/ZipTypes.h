// The archiver's enumerations, option objects and event types.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/Component.h"
#include "runtime/FileStream.h"  // the open-mode constants of OpenZipFile

enum TZipSpanningMode { smNone, smSpanning, smSplitting };
enum TZipCompressionLevel { clNone, clFastest, clNormal, clMax };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TZipStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZipFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };
enum TZipOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZipVolumeSize { vsAutoDetect, vsCustomSize, vs1_44MB, vs100MB, vs200MB, vs250MB, vs650MB, vs700MB, vs4700MB };
enum TZipProcessOperation {
  poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr, poChangeComment
};
enum TZipProgressPhase { ppStart, ppProcess, ppEnd };
// What a failure handler decides: process the same entry again, go on, or end the run.
enum TZipAction { fxaRetry, fxaIgnore, fxaAbort };

// The attribute filter that passes every entry, 10431: read-only, hidden, system,
// volume, directory, archive, normal, compressed, not-content-indexed.
constexpr uint16_t kZipAnyEntryAttr = 0x28BF;

struct TZipOptions {
  TZipStorePathMode StorePath = spRelativePath;
  bool Recurse = true;
  TZipFileShareMode ShareMode = smShareDenyNone;
  TZipOverwriteMode OverwriteMode = omAlways;
  bool CreateDirs = true;
  bool ReplaceReadOnly = true;
  bool SetAttributes = true;
  uint16_t SearchAttr = kZipAnyEntryAttr;
  bool FlushBuffers = true;
  bool OEMFileNames = true;
};

struct TZipSpanningOptions {
  bool AdvancedNaming = true;
  int64_t FirstVolumeSize = 0;
  TZipVolumeSize VolumeSize = vsAutoDetect;
  int64_t CustomVolumeSize = 0;
};

// Event types; Sender first, "var" parameters as references.
using TZipOverallProgressEvent =
    std::function<void(TObject* Sender, double Progress, TZipProcessOperation Operation,
                       TZipProgressPhase ProgressPhase, bool& Cancel)>;
using TZipFileProgressEvent =
    std::function<void(TObject* Sender, const AnsiString& FileName, double Progress, TZipProcessOperation Operation,
                       TZipProgressPhase ProgressPhase, bool& Cancel)>;
using TZipConfirmOverwriteEvent = std::function<void(TObject* Sender, const AnsiString& SourceFileName,
                                                     AnsiString& DestFileName, bool& Confirm)>;
using TZipConfirmProcessFileEvent = std::function<void(TObject* Sender, const AnsiString& FileName,
                                                       TZipProcessOperation Operation, bool& Confirm)>;
using TZipPasswordEvent =
    std::function<void(TObject* Sender, const AnsiString& FileName, AnsiString& NewPassword, bool& SkipFile)>;
using TZipProcessFileFailureEvent =
    std::function<void(TObject* Sender, const AnsiString& FileName, TZipProcessOperation Operation, int NativeError,
                       int ErrorCode, const AnsiString& ErrorMessage, TZipAction& Action)>;
using TZipRequestVolumeEvent = std::function<void(TObject* Sender, int VolumeNumber, bool& Cancel)>;
using TZipRequestFirstLastVolumeEvent = std::function<void(TObject* Sender, bool& Cancel)>;
using TZipDiskFullEvent =
    std::function<void(TObject* Sender, int VolumeNumber, int64_t VolumeSize, int64_t RequiredFreeSpace,
                       bool& Cancel)>;
using TZipStoreFileEvent =
    std::function<void(TObject* Sender, AnsiString& FileName, uint32_t& FileAttr, AnsiString& Comment)>;
using TZipExtractFileEvent =
    std::function<void(TObject* Sender, AnsiString& FileName, uint32_t& FileAttr, const AnsiString& Comment)>;
using TZipNotifyEvent = std::function<void(TObject* Sender)>;
