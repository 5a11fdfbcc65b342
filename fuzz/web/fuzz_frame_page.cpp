// Feeds arbitrary bytes to the rewriting of a site's page for the format window's frame, and the
// first line of them to the reading of the frame route's query. Nothing may crash or hang, and
// every form of the page must come out with the route as its action.
#include <cstdlib>
#include <string>

#include "web/frame_page.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string page = web::RewriteFramePage(input, "http://h:8080/g/index.html?x=1", "http://127.0.0.1:1/relay", "k");
    if (page.find("<base href=") == std::string::npos) abort();
    (void)web::FrameTarget(input.substr(0, input.find('\n')));
    return 0;
}
