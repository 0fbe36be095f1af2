// tdkit's string table, registered while the library is loaded. Programs that define the
// same ids show their own texts instead.
#include "tdkit/settings/strings.h"

#include "platform/strings.h"

namespace {

const StringTableRegistrar g_settingsStrings(StringLayer::Library, "tdkit.settings",
                                             {
                                                 {IDS_TEMPPREFIX_VOICEGRAM, "VG"},
                                                 {IDS_TEMPPREFIX_AUDIO, "AD"},
                                                 {IDS_TEMPEXTENSION_WAV, "WAV"},
                                                 {IDS_CANNOT_PLAY_FILE,
                                                  "The file %s could not be played."},
                                             });

}  // namespace
