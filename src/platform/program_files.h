#pragma once
// Where the program finds the files it ships with (the sample picture folder,
// the help document, the default image list it starts from) and where it
// keeps the user's own default image list.
//
// Two layouts:
// - Program folder: the executable's folder holds "images",
//   "DefaultImgList.IL2" and "help.pdf" side by side, and the program reads
//   and rewrites the default list there. This is the build tree's bin folder
//   and any copied-together folder.
// - Installed: the executable sits in <prefix>/bin and <prefix>/share/tilewright
//   exists. The shipped files are read from there (the default list there is
//   a template), and the default list the program writes goes to the user's
//   data folder, $XDG_DATA_HOME/tilewright or ~/.local/share/tilewright, never
//   into a system folder.
#include <string>

namespace tw {

inline const std::string kDefaultListName = "DefaultImgList.IL2";
inline const std::string kDefaultPictureFolderName = "images";
inline const std::string kHelpDocumentName = "help.pdf";

// Whether the program runs from an installed tree (see above).
bool runsInstalled();

// <folder>/../share/tilewright for the usual layout: the installed data
// folder that belongs to an executable in folder.
std::string installedDataFolderFor(const std::string& programFolder);

// The folder of the shipped files: the program folder, or
// <prefix>/share/tilewright when installed.
std::string programDataFolder();

// The default picture folder ("images" in the data folder).
std::string defaultPictureFolder();

// The default list the program starts from: when installed, the user's list
// if it exists, else the template in the data folder; otherwise the list in
// the program folder. The file may not exist (then the list is rebuilt).
std::string defaultListReadPath();

// Where "Set as Default" and "Restore Default" write the default list: the
// user's data folder when installed, otherwise the program folder. The
// folder may not exist yet; ensureFolderOf creates it.
std::string defaultListWritePath();

// The help document opened by the Help command.
std::string helpDocumentPath();

// The user's data folder for this program: $XDG_DATA_HOME/tilewright when
// that variable holds an absolute path, else $HOME/.local/share/tilewright
// (the home folder from the password database when HOME is unset).
std::string userDataFolder();

// The user's cache folder for this program (the analysis cache lives
// there): $XDG_CACHE_HOME/tilewright when that variable holds an absolute
// path, else $HOME/.cache/tilewright.
std::string userCacheFolder();

// Creates the folder that will hold path, with its missing parents (new
// folders private to the user). Fails with tw::Error naming the folder.
void ensureFolderOf(const std::string& path);

} // namespace tw
