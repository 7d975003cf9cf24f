#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

// A folder of its own for one test, removed afterwards: fake /proc, /dev and /sys trees live here.
struct TempDir : QTemporaryDir
{
    std::string str() const { return QTemporaryDir::path().toStdString(); }

    // Writes a file, making its folders.
    std::filesystem::path write(const std::string &relative, const std::string &text) const
    {
        const auto file = std::filesystem::path(str()) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
};
