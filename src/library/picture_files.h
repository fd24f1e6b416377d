#pragma once
// The picture files of a folder, as the Load Image Files window lists them.
#include <string>
#include <vector>

namespace tw {

// Whether a file name is listed as a picture: its extension, from the last
// "." on, upper-cased, is ".JPG" or ".BMP". So "photo.jpg", "PHOTO.Jpg" and
// "scan.BMP" are, "photo.jpeg" and "image.png" are not.
bool isListedPictureName(const std::string& name);

// Appends to list the picture files of folder, each as folder + "/" + name.
// Every entry counts whatever its attributes (hidden ones included), in the
// order the file system returns them; nothing is sorted. With recursive set,
// a subfolder's files are appended at once where the subfolder is met, depth
// first. A folder that cannot be read adds nothing and reports nothing.
//
// Devices, pipes and sockets are never listed (opening one to preview it
// could wait forever); a link whose target is missing is listed like the
// file it names. Each folder is listed at most once per call: a link that
// leads back to a folder already listed is not followed again, so a loop of
// links cannot make the listing endless.
void listPictureFiles(const std::string& folder, std::vector<std::string>& list, bool recursive);

} // namespace tw
