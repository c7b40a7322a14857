#pragma once
// The client's two transfers over libcurl's easy interface. Each call owns
// its handle for one transfer; failures leave a text in `lastError`, which a
// success never clears.

#include <string>

#include <brenvik/update_types.h>

namespace brenvik::detail {

// POSTs `postData` as JSON to `url` and collects the reply body in
// `response` (kept also after a non-200 status).
UpdateResult httpPost(const std::string& url, const std::string& postData, std::string& response, long timeoutSeconds,
                      std::string& lastError);

// GETs `url` into `filepath`; `progress` (may be empty) hears about it under
// `fileName` while the total size is known. An exception thrown by `progress`
// ends the transfer and leaves this call once the file and handle are released.
UpdateResult downloadFile(const std::string& url, const std::string& filepath, const std::string& fileName,
                          long timeoutSeconds, const ProgressCallback& progress, std::string& lastError);

// Library-wide set-up and tear-down, counted by the library itself. Only a
// set-up that succeeded is torn down; after a failed one every transfer
// fails to get its handle.
bool globalInit();
void globalCleanup();

}  // namespace brenvik::detail
