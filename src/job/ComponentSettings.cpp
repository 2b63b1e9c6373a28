#include "job/ComponentSettings.h"

#include "http/NetHTTP.h"
#include "zip/ZipArchiver.h"

void ConfigureHttpClient(TNetHTTP& client) {
  client.SetMaxLineAction(maException);
  client.SetReadTimeout(0);
  client.SetAllowCookies(true);
  client.ProxyParams().BasicAuthentication = false;
  client.ProxyParams().SetProxyPort(0);
  TNetHTTPRequest& request = client.Request();
  request.SetContentLength(-1);
  request.ContentRangeEnd = 0;
  request.ContentRangeStart = 0;
  request.ContentType = "text/html";
  request.Accept = "text/html, */*";
  request.BasicAuthentication = false;
  request.UserAgent = "Mozilla/3.0 (compatible; Tavro Net Library)";
  client.SetHTTPOptions(hoForceEncodeParams);
}

bool BodyIsWhole(TNetHTTP& client, int64_t received) {
  TNetHTTPResponse& response = client.Response();
  if (response.IsChunked()) return true;
  if (!response.LengthKnown) return true;
  return received == response.ContentLength();
}

void ConfigureArchiver(TZipArchiver& archiver) {
  archiver.SetExtractCorruptedFiles(false);
  archiver.SetCompressionLevel(clFastest);
  archiver.SetCompressionMode(1);
  archiver.SetCurrentVersion("1.00 ");
  archiver.SetSpanningMode(smNone);
  archiver.SpanningOptions().AdvancedNaming = true;
  archiver.SpanningOptions().VolumeSize = vsAutoDetect;
  archiver.Options().FlushBuffers = true;
  archiver.Options().OEMFileNames = true;
  archiver.SetInMemory(false);
  archiver.SetZip64Mode(zmDisabled);
}
