/* capi_check PORT [DEVICE]: libtessaro from a plain C program against
 * tessaro-sim (under Wine through a Wine COM port): connect, a move of each
 * drive, position events, refused values, disconnect. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "capi/tessaro.h"

static int g_events[4];

static void on_position(void* context, int drive, double a, double b) {
    (void)context;
    (void)a;
    (void)b;
    if (drive >= 1 && drive <= 3) ++g_events[drive];
}

static int g_failures;
#define EXPECT(condition)                                                    \
    do {                                                                     \
        if (!(condition)) {                                                  \
            fprintf(stderr, "FAIL line %d: %s (%s)\n", __LINE__, #condition, \
                    tessaro_last_error());                                   \
            ++g_failures;                                                    \
        }                                                                    \
    } while (0)

int main(int argc, char** argv) {
    tessaro_board* board = NULL;
    double a = 0, b = 0;
    if (argc < 2) return 2;
    EXPECT(tessaro_connect(atoi(argv[1]), argc > 2 ? argv[2] : NULL, NULL, NULL, &board) ==
           TESSARO_OK);
    if (!board) return 1;
    EXPECT(tessaro_on_position(board, on_position, NULL) == TESSARO_OK);
    EXPECT(tessaro_move(board, TESSARO_XY, 0, 30, -20, 1) == TESSARO_OK);
    EXPECT(tessaro_move(board, TESSARO_Z, 1, 5, 0, 1) == TESSARO_OK);
    EXPECT(tessaro_move(board, TESSARO_ROTARY, 0, 90, 0, 1) == TESSARO_OK);
    EXPECT(tessaro_position(board, TESSARO_XY, &a, &b) == TESSARO_OK && a == 30 && b == -20);
    EXPECT(tessaro_position(board, TESSARO_Z, &a, NULL) == TESSARO_OK && a == 5);
    EXPECT(tessaro_position(board, TESSARO_ROTARY, &a, NULL) == TESSARO_OK && a == 90);
    EXPECT(g_events[1] > 0 && g_events[2] > 0 && g_events[3] > 0);
    /* Refused before anything is sent, with the reason. */
    EXPECT(tessaro_move(board, TESSARO_Z, 0, NAN, 0, 1) == TESSARO_ERROR_VALUE);
    EXPECT(strstr(tessaro_last_error(), "not a number") != NULL);
    EXPECT(tessaro_set(board, TESSARO_Z, TESSARO_SPEED, 0, 0) == TESSARO_ERROR_VALUE);
    /* No integer holds it: refused, never converted (undefined). */
    EXPECT(tessaro_set(board, TESSARO_Z, TESSARO_SPEED, 1e10, 0) == TESSARO_ERROR_VALUE);
    /* The language's rules hold for typed calls too. */
    EXPECT(tessaro_set(board, TESSARO_Z, TESSARO_FLIP, 0.5, 0) == TESSARO_ERROR_VALUE);
    EXPECT(tessaro_set(board, TESSARO_Z, TESSARO_ACCELERATION, 0, 0) == TESSARO_ERROR_VALUE);
    /* A move beyond the user's limit is refused as a value. */
    EXPECT(tessaro_set_limits(board, TESSARO_Z, -100, 100, 0, 0) == TESSARO_OK);
    EXPECT(tessaro_move(board, TESSARO_Z, 0, 150, 0, 1) == TESSARO_ERROR_VALUE);
    EXPECT(strstr(tessaro_last_error(), "above the upper limit") != NULL);
    EXPECT(tessaro_last_error()[0] != '\0');
    /* Collected moves ended while a drive is busy are kept, not dropped. */
    EXPECT(tessaro_move(board, TESSARO_Z, 1, -90, 0, 0) == TESSARO_OK);
    {
        int moving = 0, resting = 1;
        EXPECT(tessaro_is_moving(board, TESSARO_Z, &moving) == TESSARO_OK && moving == 1);
        EXPECT(tessaro_is_moving(board, TESSARO_ROTARY, &resting) == TESSARO_OK && resting == 0);
    }
    EXPECT(tessaro_collect_begin(board) == TESSARO_OK);
    EXPECT(tessaro_move(board, TESSARO_ROTARY, 1, 10, 0, 1) == TESSARO_OK);
    EXPECT(tessaro_collect_end(board, 1) == TESSARO_ERROR_BUSY);
    EXPECT(tessaro_wait(board, TESSARO_Z, -1) == TESSARO_OK);
    EXPECT(tessaro_collect_end(board, 1) == TESSARO_OK);
    EXPECT(tessaro_position(board, TESSARO_ROTARY, &a, NULL) == TESSARO_OK && fabs(a - 100) < 1e-3);
    EXPECT(tessaro_disconnect(board) == TESSARO_OK);
    if (g_failures == 0) printf("capi_check: ok\n");
    return g_failures == 0 ? 0 : 1;
}
