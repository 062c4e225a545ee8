#include "tweak/bridge/read_marking.h"

#include <algorithm>
#include <string>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tweak/bridge/conversation_store.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/core/preferences.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

using platform::foundation::NSLog;

namespace {

// The manager current now: the one the replies were just confirmed through,
// or, for a picture, the one its completion uploaded it with.
void markRead(const std::string& conversationID) {
  auto manager = capturedManager();
  // A messenger without the method would not understand the message at all;
  // its conversations stay as they are.
  if (!manager ||
      !manager->respondsToSelector(viber::selector::markAsReadMessagesForConversation)) {
    NSLog("PXVIBER: conversation {} not marked read: no manager to ask", conversationID);
    return;
  }
  auto conversation = resolveConversation(*manager, conversationID);
  if (!conversation) {
    NSLog("PXVIBER: conversation {} not marked read: it was not found", conversationID);
    return;
  }
  manager->markAsReadMessagesForConversation(conversation);
  if (settings().debugMode) NSLog("PXVIBER: conversation {} marked read", conversationID);
}

}  // namespace

void markRepliedConversationsRead(const std::vector<std::pair<SendRequest, SendResult>>& replies) {
  if (!settings().markReadOnReply) return;
  std::vector<std::string> marked;
  for (const auto& [request, result] : replies) {
    if (result.kind != SendResult::Kind::Delivered || !request.conversationID) continue;
    // The identifier's text form, as the send resolved it.
    std::string id = request.conversationID->description();
    if (std::find(marked.begin(), marked.end(), id) != marked.end()) continue;
    marked.push_back(id);
    markRead(id);
  }
}

}  // namespace tweak
