#include "platform/runtime/loadable_code.h"

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/runtime/testing/universal_file.h"

namespace platform::runtime {
namespace {

namespace fs = std::filesystem;
using foundation::Bytes;
using testing::universalFile;

class LoadableCode : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/px-code-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    module_ = *foundation::readFile(PXVIBER_CODE_SLICE_MODULE);
  }
  void TearDown() override { EXPECT_EQ(platform::foundation::testing::removeTree(dir_), ""); }

  // The test module's bytes built for another processor, or for this one with
  // the other word size: what a universal file holds beside this process's slice.
  Bytes otherMachine() const { return testing::retargetedToRiscV(module_); }
  Bytes otherWordSize() const {
    Bytes b = module_;
    b[EI_CLASS] = b[EI_CLASS] == ELFCLASS64 ? ELFCLASS32 : ELFCLASS64;
    return b;
  }

  fs::path write(const std::string& name, const Bytes& bytes) {
    fs::path p = dir_ / name;
    EXPECT_TRUE(foundation::writeFileAtomically(p, bytes));
    return p;
  }

  // What the loaded code answers, or the error that loading it threw.
  static std::string load(const fs::path& p) {
    try {
      void* handle = loadCode(p, RTLD_NOW | RTLD_LOCAL);
      auto answer = reinterpret_cast<int (*)()>(::dlsym(handle, "pxCodeSliceAnswer"));
      return answer ? std::to_string(answer()) : "no function";
    } catch (const Error& e) {
      return e.what();
    }
  }

  static std::string slices(const fs::path& p) {
    std::string out;
    for (auto& s : codeSlices(p)) out += "[" + s.name + " " + describe(s.architecture) + "]";
    return out;
  }

  fs::path dir_;
  Bytes module_;
};

TEST_F(LoadableCode, APlainSharedObjectLoadsAsItIs) {
  fs::path plain = write("plain", module_);
  EXPECT_EQ(load(plain), "42");
  EXPECT_EQ(slices(plain), "[ " + describe(processArchitecture()) + "]");
}

TEST_F(LoadableCode, AUniversalFileLoadsTheSliceOfThisProcessor) {
  // The foreign slices come first: the loader must choose, not take the first.
  fs::path universal = write("universal", universalFile({{"riscv64", otherMachine()},
                                                         {"otherword", otherWordSize()},
                                                         {"own", module_}}));
  EXPECT_EQ(load(universal), "42");
  EXPECT_EQ(slices(universal), "[riscv64 machine 243][otherword " +
                                   describe(processArchitecture()) + "][own " +
                                   describe(processArchitecture()) + "]");
}

TEST_F(LoadableCode, WithoutASliceForThisProcessorItSaysWhatTheFileHolds) {
  fs::path universal = write("foreign", universalFile({{"riscv64", otherMachine()}}));
  EXPECT_EQ(load(universal), universal.string() + " holds no slice for this processor (" +
                                 describe(processArchitecture()) +
                                 "); it holds: riscv64 (machine 243)");
  EXPECT_EQ(load(write("empty", universalFile({}))),
            (dir_ / "empty").string() + " holds no slice for this processor (" +
                describe(processArchitecture()) + "); it holds: nothing");
}

TEST_F(LoadableCode, DamagedAndForeignFilesAreRefusedWithTheReason) {
  Bytes whole = universalFile({{"riscv64", otherMachine()}, {"own", module_}});
  Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() - 100));
  fs::path truncated = write("truncated", cut);
  EXPECT_EQ(load(truncated).rfind("damaged universal file " + truncated.string() + ": ", 0), 0u)
      << load(truncated);
  EXPECT_THROW(codeSlices(truncated), Error);
  fs::path text = write("text", Bytes{'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(load(text), text.string() + " is neither a shared object nor a universal file");
  EXPECT_EQ(load(dir_ / "missing"), "cannot read " + (dir_ / "missing").string());
  fs::path notElf = write("notelf", universalFile({{"readme", Bytes{'h', 'i'}}}));
  EXPECT_EQ(load(notElf), notElf.string() + " holds no slice for this processor (" +
                              describe(processArchitecture()) +
                              "); it holds: readme (no ELF object)");
  EXPECT_THROW(codeSlices(notElf), Error);
}

}  // namespace
}  // namespace platform::runtime
