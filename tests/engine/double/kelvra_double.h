/* Controls of the engine test double, for tests only. The double exports the
 * engine's 23 functions, records every call in order and lets a test decide
 * what version and player creation answer and post any notification. */
#ifndef KELVRA_DOUBLE_H
#define KELVRA_DOUBLE_H

#include "kelvra_interface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets the log and every configured answer. Players stay alive. */
typedef void (*kvdouble_reset_fn)(void);
/* The calls so far, one line each, e.g. "send_III #1 57 -1 99 -1". */
typedef const char *(*kvdouble_log_fn)(void);
typedef void (*kvdouble_set_int_fn)(int32_t value);
typedef void (*kvdouble_set_version_fn)(uint32_t word);
/* Posts a copy of the record to the window the player was given. Texts in the
 * record must outlive its dispatch. */
typedef void (*kvdouble_post_fn)(kv_player *player, const KV_Message *message);
typedef kv_window *(*kvdouble_window_fn)(kv_player *player);
/* The player created as number id (1 for the first). */
typedef kv_player *(*kvdouble_player_fn)(int32_t id);

/* The extensions kelvra_get_extension answers from now on, as a sum of the
 * bits below; none after a reset. A component sees the ones offered when it
 * loads the library. Their calls are logged ("set_quiet_ends #1 1",
 * "speech_write 220 22050", "speech_clear", "set_duck_depth 1200"); the
 * queries audible_end and speech_pending are answered without a line. */
#define KVDOUBLE_QUIET_ENDS 1
#define KVDOUBLE_SPEECH_MIX 2
/* kvdouble_offer_extensions, kvdouble_set_speech_result (what speech_write
 * answers, 0 by default) and kvdouble_set_speech_pending (milliseconds). */
/* What audible_end answers for the player while its quiet ends are on. */
typedef void (*kvdouble_set_audible_end_fn)(kv_player *player, int32_t milliseconds);

#ifdef __cplusplus
}
#endif

#endif
