#include "framework/FileReplacement.h"

#include "framework/TFile.h"
#include "framework/TFileName.h"

bool TFileReplacement::Begin(const std::string& target) {
    TFile file;
    return file.OpenRead(target) && Begin(TFileName(target), file);
}
