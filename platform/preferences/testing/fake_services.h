// Recording fakes of the settings-pane services, and a fixture helper that
// installs them for one test and forgets them afterwards.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/notify/testing/fake_notify_center.h"
#include "platform/preferences/application.h"
#include "platform/preferences/services.h"
#include "platform/preferences/settings_store.h"
#include "platform/preferences/web_view.h"
#include "platform/runloop/testing/fake_run_loop.h"

namespace platform::preferences::testing {

// Domains in memory; every write recorded as "domain:key=description".
class FakeSettingsStore final : public SettingsStore {
 public:
  std::optional<foundation::Value> read(const std::string& domain,
                                        const std::string& key) override {
    ++reads_;
    auto d = domains_.find(domain);
    if (d == domains_.end()) return std::nullopt;
    const foundation::Value* v = foundation::find(d->second, key);
    return v ? std::optional<foundation::Value>(*v) : std::nullopt;
  }
  bool write(const std::string& domain, const std::string& key,
             const foundation::Value& value) override {
    writes_.push_back(domain + ":" + key + "=" + value.description());
    if (failWrites_) return false;
    domains_[domain].insert_or_assign(key, value);
    return true;
  }

  std::map<std::string, foundation::Dictionary>& domains() { return domains_; }
  const std::vector<std::string>& writes() const { return writes_; }
  int reads() const { return reads_; }
  void failWrites(bool fail) { failWrites_ = fail; }

 private:
  std::map<std::string, foundation::Dictionary> domains_;
  std::vector<std::string> writes_;
  int reads_ = 0;
  bool failWrites_ = false;
};

// Answers the lists it was given by name; records every load as "bundle/name".
class FakeSpecifierListSource final : public SpecifierListSource {
 public:
  std::optional<foundation::Value> load(const std::filesystem::path& bundle,
                                        const std::string& name, std::string* failure) override {
    loads_.push_back((bundle / name).string());
    auto it = lists_.find(name);
    if (it == lists_.end() || !it->second) {
      if (failure) *failure = "no list named " + name;
      return std::nullopt;
    }
    return it->second;
  }

  // Sets what loading `name` gives; nullopt makes the load fail.
  void set(const std::string& name, std::optional<foundation::Value> root) { lists_[name] = root; }
  const std::vector<std::string>& loads() const { return loads_; }

 private:
  std::map<std::string, std::optional<foundation::Value>> lists_;
  std::vector<std::string> loads_;
};

class RecordingURLHandler final : public URLHandler {
 public:
  bool openURL(const foundation::NSURL& url) override {
    opened_.push_back(url.absoluteString());
    return answer_;
  }
  const std::vector<std::string>& opened() const { return opened_; }
  void setAnswer(bool answer) { answer_ = answer; }

 private:
  std::vector<std::string> opened_;
  bool answer_ = true;
};

// Records the web views it serves and the URLs they load; a test finishes or
// fails a load with finish() and fail(). A backend leaves the list when its web
// view is destroyed, as the real engine stops calling it then.
class FakeWebEngine final : public WebEngine {
 public:
  class Backend final : public WebViewBackend {
   public:
    Backend(FakeWebEngine& engine, UIWebView& owner) : engine_(engine), owner_(owner) {
      engine_.live_.push_back(this);
    }
    ~Backend() override { std::erase(engine_.live_, this); }
    void loadRequest(const NSURLRequest& request) override {
      engine_.loads_.push_back(request.URL ? request.URL->absoluteString() : "(null)");
    }
    UIWebView& owner() { return owner_; }

   private:
    FakeWebEngine& engine_;
    UIWebView& owner_;
  };

  std::unique_ptr<WebViewBackend> makeBackend(UIWebView& owner) override {
    return std::make_unique<Backend>(*this, owner);
  }

  // Reports a finished or failed load to the web view of backend `i`.
  void finish(size_t i = 0) { live_.at(i)->owner().didFinishLoad(); }
  void fail(size_t i = 0) {
    live_.at(i)->owner().didFailLoad(
        NSError{"NSURLErrorDomain", -1009, "The Internet connection appears to be offline."});
  }

  size_t liveWebViews() const { return live_.size(); }
  const std::vector<std::string>& loads() const { return loads_; }

 private:
  std::vector<Backend*> live_;
  std::vector<std::string> loads_;
};

// Installs fresh fakes (and a fake main run loop and Darwin centre) for the
// life of the object; everything is reset afterwards.
class FakeServices {
 public:
  FakeServices()
      : loop(std::make_shared<runloop::testing::FakeRunLoop>()),
        center(std::make_shared<notify::testing::FakeNotifyCenter>(*loop)),
        store(std::make_shared<FakeSettingsStore>()),
        lists(std::make_shared<FakeSpecifierListSource>()),
        urls(std::make_shared<RecordingURLHandler>()),
        web(std::make_shared<FakeWebEngine>()) {
    resetServices();
    runloop::setMainRunLoop(loop);
    notify::setDarwinNotifyCenter(center);
    Services& s = services();
    s.store = store;
    s.poster = center;
    s.specifierLists = lists;
    s.urlHandler = urls;
    s.webEngine = web;
  }
  ~FakeServices() {
    resetServices();
    notify::setDarwinNotifyCenter(nullptr);
    runloop::setMainRunLoop(nullptr);
  }
  FakeServices(const FakeServices&) = delete;
  FakeServices& operator=(const FakeServices&) = delete;

  std::shared_ptr<runloop::testing::FakeRunLoop> loop;
  std::shared_ptr<notify::testing::FakeNotifyCenter> center;
  std::shared_ptr<FakeSettingsStore> store;
  std::shared_ptr<FakeSpecifierListSource> lists;
  std::shared_ptr<RecordingURLHandler> urls;
  std::shared_ptr<FakeWebEngine> web;
};

}  // namespace platform::preferences::testing
