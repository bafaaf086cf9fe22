// The web page factory the program chose.
#include "views/WebPageFactory.h"

namespace {
WebPageFactory& current() {
    static WebPageFactory factory;
    return factory;
}
} // namespace

const WebPageFactory& webPageFactory() {
    return current();
}

void setWebPageFactory(WebPageFactory factory) {
    current() = std::move(factory);
}
