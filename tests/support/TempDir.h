#pragma once

#include <string>

// A fresh folder for one test, removed with everything in it when the test ends.
// Paths use the platform's separator, as the walk does.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // `relative` may use "/" on every platform.
    std::string Join(const std::string& relative) const;

    // Writes a file, making the folders on its way.
    void Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void MakeFolder(const std::string& relative) const;

private:
    std::string path_;
};

// Moves the user's state folder (where runs keep their journals) to `path` for this process.
void UseStateFolder(const std::string& path);

// Whole-file helpers for absolute paths.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
