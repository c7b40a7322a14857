#include "transport.h"

#include <cstdio>
#include <exception>
#include <memory>

#include <curl/curl.h>

#include "platform/file_system.h"

namespace brenvik::detail {
namespace {

struct ProgressData {
    ProgressCallback callback;
    std::string fileName;
    // An exception from the callback cannot pass through the C library; it
    // waits here until the handle and the file are released.
    std::exception_ptr failure;
};

struct OutputFile {
    std::FILE* stream = nullptr;
    bool writeFailed = false;
};

// A reply too large to hold ends the transfer as a failed write instead of
// throwing through the C library.
size_t writeToString(char* data, size_t size, size_t count, void* userData) {
    const size_t bytes = size * count;
    try {
        static_cast<std::string*>(userData)->append(data, bytes);
    } catch (const std::exception&) {
        return 0;
    }
    return bytes;
}

// A short count makes the library abort the transfer, so a full disk ends
// the download as a failure instead of leaving a silently truncated file.
size_t writeToStream(char* data, size_t size, size_t count, void* userData) {
    auto* out = static_cast<OutputFile*>(userData);
    const size_t bytes = size * count;
    const size_t written = std::fwrite(data, 1, bytes, out->stream);
    if (written != bytes) {
        out->writeFailed = true;
    }
    return written;
}

int onTransferProgress(void* userData, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t /*uploadTotal*/,
                       curl_off_t /*uploadNow*/) {
    if (downloadTotal <= 0) {
        return 0;
    }
    auto* data = static_cast<ProgressData*>(userData);
    if (data == nullptr || !data->callback) {
        return 0;
    }
    const double percent = static_cast<double>(downloadNow) / static_cast<double>(downloadTotal) * 100.0;
    try {
        data->callback(data->fileName, static_cast<std::uint32_t>(downloadNow),
                       static_cast<std::uint32_t>(downloadTotal), percent);
    } catch (...) {
        data->failure = std::current_exception();
        return 1;  // abort; downloadFile rethrows once it has cleaned up
    }
    return 0;
}

struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

// Sets options one after the other until one is refused; the first refusal
// is the result, so that no transfer starts with a setting missing.
class Options {
public:
    explicit Options(CURL* curl) : curl_(curl) {}
    template <typename Value>
    Options& set(CURLoption option, Value value) {
        if (result_ == CURLE_OK) {
            result_ = curl_easy_setopt(curl_, option, value);
        }
        return *this;
    }
    CURLcode result() const { return result_; }

private:
    CURL* curl_;
    CURLcode result_ = CURLE_OK;
};

// 0 when the library cannot tell, which no caller takes for success.
long responseCode(CURL* curl) {
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return 0;
    }
    return status;
}

// The transfer library speaks many schemes; an update server's reply (or a
// redirect) naming file://, gopher:// or the like must not make it read local
// files or send chosen bytes to other hosts.
Options& onlyHttp(Options& options) {
    return options.set(CURLOPT_PROTOCOLS_STR, "http,https").set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

}  // namespace

bool globalInit() {
    return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
}

void globalCleanup() {
    curl_global_cleanup();
}

UpdateResult httpPost(const std::string& url, const std::string& postData, std::string& response, long timeoutSeconds,
                      std::string& lastError) {
    const EasyHandle curl(curl_easy_init());
    if (!curl) {
        lastError = "Failed to initialize CURL";
        return UpdateResult::CurlInitFailed;
    }
    response.clear();

    const HeaderList headers(curl_slist_append(nullptr, "Content-Type: application/json"));
    Options options(curl.get());
    options.set(CURLOPT_URL, url.c_str());
    onlyHttp(options)
        .set(CURLOPT_POSTFIELDS, postData.c_str())
        .set(CURLOPT_POSTFIELDSIZE, static_cast<long>(postData.size()))
        .set(CURLOPT_WRITEFUNCTION, writeToString)
        .set(CURLOPT_WRITEDATA, &response)
        .set(CURLOPT_TIMEOUT, timeoutSeconds)
        .set(CURLOPT_FOLLOWLOCATION, 1L)
        // Certificate checks stay off: update servers with self-signed
        // certificates are in use and rely on it.
        .set(CURLOPT_SSL_VERIFYPEER, 0L)
        .set(CURLOPT_SSL_VERIFYHOST, 0L)
        .set(CURLOPT_HTTPHEADER, headers.get());

    CURLcode code = options.result();
    if (code == CURLE_OK && !headers) {
        code = CURLE_OUT_OF_MEMORY;  // the body must not go out without its type
    }
    if (code == CURLE_OK) {
        code = curl_easy_perform(curl.get());
    }
    if (code != CURLE_OK) {
        lastError = std::string("CURL error: ") + curl_easy_strerror(code);
        return UpdateResult::NetworkError;
    }
    const long status = responseCode(curl.get());
    if (status != 200) {
        lastError = "HTTP error code: " + std::to_string(status);
        return UpdateResult::NetworkError;
    }
    return UpdateResult::Success;
}

UpdateResult downloadFile(const std::string& url, const std::string& filepath, const std::string& fileName,
                          long timeoutSeconds, const ProgressCallback& progress, std::string& lastError) {
    const EasyHandle curl(curl_easy_init());
    if (!curl) {
        lastError = "Failed to initialize CURL for download";
        return UpdateResult::CurlInitFailed;
    }
    OutputFile out;
    out.stream = platform::openForWriting(filepath);
    if (out.stream == nullptr) {
        lastError = "Failed to open file for writing: " + filepath;
        return UpdateResult::FileError;
    }
    ProgressData progressData{progress, fileName, nullptr};

    Options options(curl.get());
    options.set(CURLOPT_URL, url.c_str());
    onlyHttp(options)
        .set(CURLOPT_WRITEFUNCTION, writeToStream)
        .set(CURLOPT_WRITEDATA, &out)
        .set(CURLOPT_TIMEOUT, timeoutSeconds)
        .set(CURLOPT_FOLLOWLOCATION, 1L)
        .set(CURLOPT_SSL_VERIFYPEER, 0L)
        .set(CURLOPT_SSL_VERIFYHOST, 0L);
    if (progress) {
        options.set(CURLOPT_XFERINFOFUNCTION, onTransferProgress)
            .set(CURLOPT_XFERINFODATA, &progressData)
            .set(CURLOPT_NOPROGRESS, 0L);
    }

    CURLcode code = options.result();
    if (code == CURLE_OK) {
        code = curl_easy_perform(curl.get());
    }
    // Closing flushes the last buffered bytes; a failure there is as much a
    // short write as one inside the transfer.
    const bool closeFailed = std::fclose(out.stream) != 0;

    if (progressData.failure) {
        std::rethrow_exception(progressData.failure);
    }
    if (code != CURLE_OK) {
        lastError = std::string("Download failed: ") + curl_easy_strerror(code);
        return UpdateResult::DownloadFailed;
    }
    const long status = responseCode(curl.get());
    if (status != 200) {
        lastError = "Download HTTP error code: " + std::to_string(status);
        return UpdateResult::DownloadFailed;
    }
    if (closeFailed || out.writeFailed) {
        lastError = "Download failed: could not write " + filepath;
        return UpdateResult::DownloadFailed;
    }
    return UpdateResult::Success;
}

}  // namespace brenvik::detail
