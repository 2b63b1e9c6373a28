// The design-time settings of the windows' components, and what the windows need of
// their HTTP clients beyond FetchUrl.
#pragma once

#include <cstdint>

class TNetHTTP;
class TZipArchiver;

// The settings both windows' clients carry: exceptions on over-long lines, no read time
// limit, cookies, the request's content fields, "text/html, */*", the user agent
// "Mozilla/3.0 (compatible; Tavro Net Library)", and hoForceEncodeParams only.
void ConfigureHttpClient(TNetHTTP& client);

// After FetchUrl returned: the last response's body arrived whole, given the bytes
// received. A body that declared its length must have all of it; a chunked body or one
// read until the server closed has ended normally when FetchUrl returned.
bool BodyIsWhole(TNetHTTP& client, int64_t received);

// The main window's archiver: corrupted files not extracted, OEM (936) names, buffers
// flushed, no spanning, Zip64 disabled, version "1.00 ".
void ConfigureArchiver(TZipArchiver& archiver);
