// A fresh directory per test, removed afterwards; tests of one executable may run in parallel.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SysUtils.h"
#include "platform/Types.h"

class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    FDir = std::filesystem::temp_directory_path() /
           ("aes_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(FDir);
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  std::filesystem::path Native(const std::string& name) const { return FDir / name; }
  platform::string Path(const std::string& name) const { return platform::FromUTF8(Native(name).string()); }

  void WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(Native(name), std::ios::binary) << content;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Native(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path FDir;
};
