// The simulated device's TFTP service on the two-host bench, with libcurl
// as the client: images that do not add up never replace the stored
// document. Everything else of the simulator is driven by the program's own
// road tests. Needs root (namespaces).
#include "CobBytes.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <curl/curl.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

struct Upload
{
    const Bytes* data;
    size_t sent = 0;
};

CURLcode TftpPut(const NetBench& bench, const std::string& url, const Bytes& data, long timeoutMs = 10000,
                 bool bare = false)
{
    static CurlGlobal global;
    NetBench::Entered pc(bench.PcNamespace());
    Upload up{&data};
    CURL* c = curl_easy_init();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(c, CURLOPT_TFTP_BLKSIZE, 512L);
    curl_easy_setopt(c, CURLOPT_TFTP_NO_OPTIONS, bare ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, +[](char* p, size_t s, size_t n, void* in) {
        auto* u = static_cast<Upload*>(in);
        const size_t take = std::min(s * n, u->data->size() - u->sent);
        std::memcpy(p, u->data->data() + u->sent, take);
        u->sent += take;
        return take;
    });
    curl_easy_setopt(c, CURLOPT_READDATA, &up);
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_cleanup(c);
    return rc;
}

} // namespace

TEST(VynSimBench, MalformedImagesAndOtherFilesAreRefused)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("sim");
    SimDevice sim(bench);
    ASSERT_EQ(TftpPut(bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", "keep"}})), CURLE_OK);
    Bytes cut = CobBytes({{"postsoap.xml", "new document"}});
    cut.resize(cut.size() - 3);
    EXPECT_NE(TftpPut(bench, "tftp://10.213.0.2/WEB6", cut), CURLE_OK);
    EXPECT_NE(TftpPut(bench, "tftp://10.213.0.2/WEB6", Bytes{'n', 'o', 'p', 'e'}), CURLE_OK);
    EXPECT_NE(TftpPut(bench, "tftp://10.213.0.2/WEB7", CobBytes({{"postsoap.xml", "new"}})), CURLE_OK);
    EXPECT_EQ(sim.SoapDocument(), "keep");
    EXPECT_TRUE(sim.WaitForLog("image refused"));
}
