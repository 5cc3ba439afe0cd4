/* Compiling this file is the test: the interface header checks its own layout
 * with static assertions for the target it is compiled for. */
#include "kelvra_interface.h"

int main(void) {
    KV_Message msg = {0};
    msg.Code = KV_NOTIFY_PLAYER_STATE;
    msg.Data.State = KV_PLAYER_STATE_PLAYING;
    return msg.Data.State == 1 ? 0 : 1;
}
