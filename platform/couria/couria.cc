#include "platform/couria/couria.h"

namespace platform::couria {

void Couria::registerExtension(std::shared_ptr<CouriaExtension> extension,
                               const std::string& application) {
  extensions_[application] = std::move(extension);
}

std::shared_ptr<CouriaExtension> Couria::extensionForApplication(
    const std::string& application) const {
  auto it = extensions_.find(application);
  return it == extensions_.end() ? nullptr : it->second;
}

std::shared_ptr<Couria> CouriaClass::sharedInstance() { return instance_; }

}  // namespace platform::couria
