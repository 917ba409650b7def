#pragma once

#include <filesystem>
#include <string>

#include "windows/open_preview.h"

namespace fotolyx {

class Program;

// The Open command once its dialog has answered with a path and a file type (1 JPEG, 2
// Bitmap): the folder is remembered for the next dialog, the file is read into WorkImage and
// an Openfile window titled with the file's name is created. True when a window was created.
bool OpenChosenPicture(Program& program, const std::string& chosenPath, int filterIndex);

// A picture named on the command line, opened as the Open command does: the JPEG type for
// .jpg and .jpeg names (any case), the Bitmap type for every other name.
bool OpenPictureArgument(Program& program, const std::filesystem::path& file);
int OpenFilterForName(const std::filesystem::path& file);

// The folder part of a chosen path, up to and including its last separator.
std::string ChosenFolder(const std::string& chosenPath);

// The Open dialog's preview on this program's state.
OpenPreviewPorts MakeOpenPreviewPorts(Program& program);

}  // namespace fotolyx
