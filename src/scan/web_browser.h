#pragma once
// The embedded web browser that a front end lends to the search-site format determination: it
// opens an address, says whether the page has finished loading and which address it shows now
// (after redirections and after the user has submitted a form in it). The determination only
// watches it; the user works in it.
#include <string>

namespace plover {

class IWebBrowser {
public:
    virtual void Navigate(const std::string& address) = 0;
    virtual bool IsLoadingComplete() = 0;
    virtual std::string GetCurrentAddress() = 0;

protected:
    ~IWebBrowser() = default;
};

}  // namespace plover
