#pragma once

// Where the files that a user's runs write are kept: the configuration ("Korvel.cfg",
// "Lumaro.ini", the drive table "Drives.ini") and the logs.
//
// A program run from a folder its user may write (a build tree, a demo or client folder)
// keeps them beside itself, where the programs have always kept them. A program installed
// under a prefix its user may not write keeps them in the user's own folders:
//
//   configuration   $XDG_CONFIG_HOME/korvel/   (default ~/.config/korvel/)
//   data, logs      $XDG_DATA_HOME/korvel/     (default ~/.local/share/korvel/, which also
//                                              holds the default drives C and D)
//
// The decision is taken here and nowhere else, so both programs and every library of a
// process agree on where a file is. Nothing here touches the drive table, so the drive table
// itself may use it. All functions may be called from any thread.

#include <string>
#include <string_view>

namespace platform {

enum class UserFileKind {
  Configuration,  // settings the operator edits or the programs save
  Data,           // logs and other files the programs only add to
};

// True when this process's user may create files in `host_folder` as its permission bits
// state: the write bit of the class the user falls in (owner, group, others) on a file system
// mounted for writing. The bits decide even for the superuser, so a prefix made read-only is
// never written into.
bool FolderIsUserWritable(const std::string& host_folder);

// $XDG_CONFIG_HOME/korvel and $XDG_DATA_HOME/korvel (an unset or relative variable falls back
// to ~/.config and ~/.local/share, without $HOME to /tmp). Host form, no trailing '/'. The
// folders are not created here.
std::string UserConfigFolderHost();
std::string UserDataFolderHost();

// Host path of the user file `name` (a plain file name) that belongs beside the program in
// `host_folder` (empty: the program folder). A user-writable folder gives
// "<host_folder>/<name>", and so does a folder that does not exist (saving there fails where
// the caller asked). Otherwise the file lives in the user folder of `kind`, which is
// created (owner-only, since configuration files hold recorder passwords); when the file is
// not there yet and `host_folder` holds one (a default installed beside the program), it is
// copied first, so a first run starts from the installed defaults.
std::string UserFileHostPath(std::string_view name, UserFileKind kind = UserFileKind::Configuration,
                             std::string_view host_folder = {});

// The same for a caller that keeps Windows-form paths: `folder` is Windows form (empty: the
// program folder) and so is the result. A user-writable folder gives exactly
// "<folder>\<name>".
std::string UserFilePath(std::string_view name, UserFileKind kind = UserFileKind::Configuration,
                         std::string_view folder = {});

}  // namespace platform
