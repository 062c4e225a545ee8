// A scratch data container holding the sample Viber database and an empty
// attachments folder, removed when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/testing/scratch_folder.h"
#include "platform/messenger/messenger_database.h"
#include "platform/viberdb/sample_content.h"

namespace platform::messenger::testing {

class SampleContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(container_ / kAttachmentsRelativePath);
    sample_ = viberdb::createSampleDatabase(databaseFile(), viberdb::now());
  }

  std::filesystem::path databaseFile() const { return container_ / viberdb::kDatabaseRelativePath; }
  // Puts a file of that name into the attachments folder.
  void addAttachmentFile(const std::string& name, const std::string& bytes = "jpeg") const {
    std::ofstream(container_ / kAttachmentsRelativePath / name) << bytes;
  }

  foundation::testing::ScratchFolder scratch_{"pxviber-messenger"};
  std::filesystem::path container_ = scratch_.path();
  viberdb::SampleContent sample_;
};

}  // namespace platform::messenger::testing
