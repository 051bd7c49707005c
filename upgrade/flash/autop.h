// autop: prepares the configuration for the first start of the new firmware
// (shared-memory upgrades, after a successful burn). Both steps read the version
// that was installed before the upgrade from the device environment entry
// "RomVersion" ("%d.%d.%d.%d"; numbers the text does not reach count as 0).
// Neither can fail the upgrade: problems end the step with a log line, and the
// results of the shell commands are not looked at.
#pragma once

#include "env.h"

#define AUTOP_SAVE_FILE "/config/autop_retry_save.cfg"
#define AUTOP_SCAN_DIR "/tmp/"
#define AUTOP_MAX_FILES 10
#define LINEKEY8_FILE "/config/Phone/Key/ProgramableKey.conf"

// When the third version number is below 4 and AUTOP_SAVE_FILE does not exist
// yet: concatenates the regular files of /tmp named like "*.cfg" / "*.conf"
// (directory order, at most 10; each followed by a line of two blanks) into
// AUTOP_SAVE_FILE, blanks every line mentioning a URL and appends
// "Config.Autoprovision.Reboot.Enable = 1 ". Names holding characters the shell
// would interpret, files past the tenth and paths too long for the command are
// skipped, each with an error line naming it.
void config_autop(const env_info* env);

// When the first version number is 59 and the third below 4 (low 8 bits of
// each): every line of LINEKEY8_FILE that mentions LINEKEY8 becomes
// "[ LINEKEY8_NOUSED ]".
void config_deleteLineKey8(const env_info* env);

// ---- Pure rules (tests) ----

// Four numbers of a version text, 0 where the text does not reach them.
struct rom_version {
    int part[4];
};
rom_version autop_scan_version(const char* text);

// 1 when config_autop should run for this earlier version (third number < 4).
int autop_version_applies(const rom_version* v);
// 1 when config_deleteLineKey8 should run (bytes: first 59, third below 4).
int linekey8_version_applies(const rom_version* v);

// 1 for a file name marked as configuration: contains ".cfg" and ends in 'g',
// or contains ".conf" and ends in 'f'.
int autop_name_matches(const char* name);

// 1 when `name` holds only characters the shell passes through unchanged
// (letters, digits and "._-+,:@%="), also inside single quotes.
int autop_name_shell_safe(const char* name);

// Why a matching regular file of /tmp is or is not collected.
enum autop_pick_e {
    AUTOP_PICK_COLLECT = 0,
    AUTOP_PICK_IGNORE = 1,    // the name does not mark a configuration file
    AUTOP_PICK_HOSTILE = 2,   // the name holds shell characters
    AUTOP_PICK_TOO_LONG = 3,  // the command would not fit its buffer
    AUTOP_PICK_TOO_MANY = 4,  // AUTOP_MAX_FILES already collected
};

// Decides for the regular file `path` named `name`, with `collected` files
// collected so far. On AUTOP_PICK_COLLECT `cmd` (of `cmd_size` bytes) holds the
// command that appends the file to the save file, with the path quoted.
autop_pick_e autop_pick(const char* name, const char* path, int collected, char* cmd, unsigned int cmd_size);
