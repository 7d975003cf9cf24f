#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// Each test runs in a fresh, empty current directory, where the information file is looked up.
class InTemporaryDirectory : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(directory.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(directory.path()));
    }

    void TearDown() override { QDir::setCurrent(previous); }

    void writeInfoFile(const QByteArray &bytes) const
    {
        QFile file(directory.filePath(QStringLiteral("VelmoraInfo.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QString infoFilePath() const
    {
        return QFileInfo(directory.path()).canonicalFilePath() + QStringLiteral("/VelmoraInfo.txt");
    }

    QTemporaryDir directory;
    QString previous;
};
