#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

// A template for QTemporaryDir in memory when the machine has a memory file
// system: writes there are quick enough to follow each other within one tick
// of the file system's clock, which is where stale copies of the file hide.
QString memoryFolderTemplate();

// Points the store at a file in a fresh temporary folder (one level deeper, so
// that creating the folder is part of the first write) and restores the
// environment afterwards.
class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString path() const { return path_; }
    QString folder() const;
    bool fileExists() const;
    QByteArray rawFile() const;
    void writeRawFile(const QByteArray &content) const;

    // The value as QSettings itself reads the file, for checks of the format.
    QString plainQSettingsValue(const QString &key) const;

private:
    QTemporaryDir dir_{memoryFolderTemplate()};
    QString path_;
    QByteArray savedVariable_;
    bool hadVariable_ = false;
};
