#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Points XDG_CONFIG_HOME at a folder of the test program's own before any
// test runs, so that the settings store reads and writes a real file there
// and never the user's. Register it once per test program.
class ConfigHome : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    }
    QString Path() const { return dir.path(); }

  private:
    QTemporaryDir dir;
};

inline ConfigHome *RegisterConfigHome()
{
    return static_cast<ConfigHome *>(::testing::AddGlobalTestEnvironment(new ConfigHome));
}
