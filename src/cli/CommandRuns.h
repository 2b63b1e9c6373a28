// The commands' runs (see cli/Commands.h); each returns its exit status.
#pragma once

struct TInvocation;

int RunList(const TInvocation& call);
int RunNotes(const TInvocation& call);
int RunFetch(const TInvocation& call);
int RunVerify(const TInvocation& call);
int RunInstall(const TInvocation& call);
int RunClean(const TInvocation& call);
