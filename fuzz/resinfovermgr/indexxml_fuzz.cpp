// ParseIndexXml on arbitrary text: the 1.xml a package file brings. It runs
// on a thread with a small stack, so recursion that the depth check lets
// through crashes at once instead of only on texts deep enough for the main
// thread's stack.
#include "qxnetengine/resinfovermgr/indexxml.h"
#include "support/fuzzcheck.h"

#include <pthread.h>

#include <string>

namespace {

// Depth 256 under the sanitizers fits with room to spare; a thread of a
// Windows game has 1 MiB.
const size_t kParseStack = 512 * 1024;

struct TParse {
    const std::string* text;
    std::vector<ResInfoItem> items;
};

void* Parse(void* arg)
{
    TParse* p = static_cast<TParse*>(arg);
    ParseIndexXml(*p->text, p->items);
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TParse parse{&text, {}};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kParseStack);
    pthread_t thread;
    FUZZ_CHECK(pthread_create(&thread, &attr, Parse, &parse) == 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    // Every record found was written as one.
    size_t records = 0;
    for (size_t at = text.find("Record"); at != std::string::npos; at = text.find("Record", at + 1))
        ++records;
    FUZZ_CHECK(parse.items.size() <= records);
    for (const ResInfoItem& item : parse.items)
        FUZZ_CHECK(item.RecordXml.find("Record") != std::string::npos);
    return 0;
}
