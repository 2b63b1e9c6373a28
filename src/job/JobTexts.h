// The texts the job's outcomes are told to a person with, in their Chinese originals
// (UTF-8). Each front end shows them in the language in use (Tavro::tr), so the window's
// boxes and the terminal's messages say the same. The marker lets the translation tools
// collect them here, where no Qt header may be included.
#pragma once

#define TAVRO_TRANSLATE_NOOP(context, text) text

enum TJobNotice {
  jnNone,
  jnDownloadFailed,         // the package could not be fetched: the network, the server
  jnDownloadRefused,        // the package's signature refused it: nothing stored
  jnStoredPackageRefused,   // the stored package fails its check at the hand-off
  jnNoPlayerFolder,         // the player software's folder is unknown
  jnUnpackFailed,           // the unpacking was aborted
  jnToolNotStarted,         // the flashing tool could not be started
  jnStoreNotWritable,       // a folder cannot be written: %1 the folder, %2 the system's reason
  jnProxyUnreadable,        // a proxy variable cannot be read: %1 the variable and its value, %2 why
};

// The notice's text (null for jnNone).
const char* JobNoticeText(TJobNotice notice);

// The connect prompt before the flashing tool starts, and its caption.
extern const char* const kConnectPrompt;
extern const char* const kConnectCaption;
