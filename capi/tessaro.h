/* libtessaro: the Tessaro stage, focus drive and rotary drive from any
 * language that calls C (Python's ctypes, MATLAB, LabVIEW, C#).
 *
 * It loads the plug-in module and drives it as tessaro-host does, with the
 * same checks, limits, settings files and messages. Plain C types only.
 *
 * Every call returns a result code; after a failure tessaro_last_error()
 * gives the reason in one line (per thread, until the thread's next call).
 * One board is connected at a time in a process. A board may be used from
 * several threads; a drive carries out one operation at a time.
 *
 * Drives are named by number: TESSARO_XY (the stage, two coordinates),
 * TESSARO_Z (the focus drive), TESSARO_ROTARY. Positions are in micrometres,
 * the rotary drive's in degrees; speeds in revolutions per second;
 * accelerations in revolutions per second squared. */
#ifndef TESSARO_H
#define TESSARO_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(TESSARO_API_BUILD)
#define TESSARO_API __declspec(dllexport)
#else
#define TESSARO_API __declspec(dllimport)
#endif
#else
#define TESSARO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tessaro_board tessaro_board;

enum tessaro_result {
    TESSARO_OK = 0,
    TESSARO_ERROR = 1,          /* the plug-in or a file reported a failure */
    TESSARO_ERROR_VALUE = 2,    /* an argument not taken; nothing was sent */
    TESSARO_ERROR_LINE = 3,     /* the port, the line or the board: missing, lost, silent */
    TESSARO_ERROR_MOTION = 4,   /* a move failed, was refused or ended away from its target */
    TESSARO_ERROR_NO_DRIVE = 5, /* the board has no such drive */
    TESSARO_ERROR_TIMEOUT = 6,  /* tessaro_wait: the operation still runs */
    TESSARO_ERROR_BUSY = 7,     /* the drive still carries out an earlier operation */
    TESSARO_STOPPED = 8         /* the move or search was stopped (tessaro_stop, or a jog of the
                                   drive) before its end; the drive stands where it stopped */
};

enum tessaro_drive {
    TESSARO_ALL = 0, /* tessaro_wait and tessaro_stop: the collected moves, every drive */
    TESSARO_XY = 1,
    TESSARO_Z = 2,
    TESSARO_ROTARY = 3
};

enum tessaro_parameter {
    TESSARO_SPEED = 1,        /* rev/s, above 0 */
    TESSARO_ACCELERATION = 2, /* rev/s^2, a whole number of 1 or more */
    TESSARO_FLIP = 3          /* direction 1 or -1 (the stage: x in a, y in b) */
};

/* The reason for this thread's last failure; "" after a success. */
TESSARO_API const char* tessaro_last_error(void);
/* The device's own line behind this thread's last failure ("Tessaro device Z
 * drive ended 12 steps from its target"), or "". */
TESSARO_API const char* tessaro_last_diagnostic(void);
/* "8.203.1273.0". */
TESSARO_API const char* tessaro_version(void);

/* Texts are written to `text` (up to `size` bytes, always terminated) and
 * `needed` (when not null) gets the size the whole text takes. */

/* The serial ports, one line each: COM number (0 for none), path,
 * description, latency timer in ms (-1: unknown) and, with `probe`, what
 * answered, separated by tabs. */
TESSARO_API int tessaro_ports(int probe, char* text, size_t size, size_t* needed);

/* Connects to the board on COM `port` (1 to 254). `device`: on systems
 * without COM names the device behind the port (null: none). `settings`: the
 * drives' settings file, read now and written at disconnect (null: none).
 * `module`: the plug-in module (null: the one beside this library). */
TESSARO_API int tessaro_connect(int port, const char* device, const char* settings,
                                const char* module, tessaro_board** board);
/* Stops what still runs, writes the settings file and disconnects; `board`
 * is gone afterwards (null is taken and ignored). */
TESSARO_API int tessaro_disconnect(tessaro_board* board);
/* The same, leaving the settings file as it is (a program that refused
 * what it read from it). */
TESSARO_API int tessaro_disconnect_unsaved(tessaro_board* board);

/* 1 when the board has the drive, else 0. */
TESSARO_API int tessaro_has_drive(tessaro_board* board, int drive);
/* The controller information text, lines ending in '\n'. */
TESSARO_API int tessaro_info(tessaro_board* board, char* text, size_t size, size_t* needed);

/* Where the drive stands (b: the stage's y, else 0). Fails while the line to
 * the board is lost: then the position is not known. */
TESSARO_API int tessaro_position(tessaro_board* board, int drive, double* a, double* b);
/* 0 when the drive's position cannot be trusted (the board kept counts of
 * another session or came back reset): set the origin or search the limits. */
TESSARO_API int tessaro_trusted(tessaro_board* board, int drive, int* trusted);
/* 1 while the drive moves: a move or limit search of it (or collected moves,
 * which count for every drive) has not ended, or a jog of it runs and its
 * position changed within the last 250 ms (a jog that a limit switch ended
 * stops counting then; one slower than a step in 250 ms reads as resting). */
TESSARO_API int tessaro_is_moving(tessaro_board* board, int drive, int* moving);

/* A positioning move to (a, b) or by (a, b) (b: the stage's y). With `wait`
 * 0 it returns once started; tessaro_wait gives its end. While moves are
 * collected it is only stored. */
TESSARO_API int tessaro_move(tessaro_board* board, int drive, int relative, double a, double b,
                             int wait);
/* A search of both limit switches (stage and focus drive). */
TESSARO_API int tessaro_find_limits(tessaro_board* board, int drive, int wait);
/* Waits up to `timeout_ms` (negative: until it ends) for the drive's
 * operation and returns its result; TESSARO_ERROR_TIMEOUT while it runs.
 * A failure nobody waited for is returned instead by the drive's next
 * move or search, which then does not start (a stop is no failure). */
TESSARO_API int tessaro_wait(tessaro_board* board, int drive, int timeout_ms);
/* A velocity move (b: the stage's y speed); speed 0 stops that axis. */
TESSARO_API int tessaro_jog(tessaro_board* board, int drive, double a, double b);
/* Stops the drive (TESSARO_ALL: every drive), also a move or search that
 * another thread waits for or that was only just started: it returns once
 * that operation has ended (the stop goes out again while its start may
 * still have been on its way), after 10 s at most. A stop that did not
 * reach the board (the line is lost) fails with the reason: what moved
 * goes on. */
TESSARO_API int tessaro_stop(tessaro_board* board, int drive);

/* The travel limits (b: the stage's y). */
TESSARO_API int tessaro_limits(tessaro_board* board, int drive, double* lower_a, double* upper_a,
                               double* lower_b, double* upper_b);
TESSARO_API int tessaro_set_limits(tessaro_board* board, int drive, double lower_a, double upper_a,
                                   double lower_b, double upper_b);
/* The present position becomes the origin. */
TESSARO_API int tessaro_set_origin(tessaro_board* board, int drive);

TESSARO_API int tessaro_get(tessaro_board* board, int drive, int parameter, double* a, double* b);
TESSARO_API int tessaro_set(tessaro_board* board, int drive, int parameter, double a, double b);

/* Called with each position the board reports (b: the stage's y), from a
 * thread of the library's own for the board: in order, one call at a time,
 * with no lock of the library held, so that the callback may call any
 * function here (tessaro_disconnect included). A drive's position not yet
 * delivered is replaced by its newer one. Null stops the calls. It returns
 * once the callback before has returned (unless called from it), and that
 * one is not called again; TESSARO_ERROR_TIMEOUT when a call of it had not
 * returned after 10 s (the new one is installed all the same). A disconnect
 * meeting such a call closes the board but leaves its memory to it. */
typedef void (*tessaro_position_callback)(void* context, int drive, double a, double b);
TESSARO_API int tessaro_on_position(tessaro_board* board, tessaro_position_callback callback,
                                    void* context);

/* The device's lines (how a move or search ended, the line to the board lost
 * or back, a value not taken) and the library's notes on the settings file,
 * each once and in order, from the board's thread as positions are. `warning`
 * is 1 for a line that tells of a failure, a loss, a doubt or a value not
 * taken. Lines that came while none was installed (those of the connect) go
 * to the first callback. Null stops the calls (lines then wait again). It
 * returns as tessaro_on_position does. */
typedef void (*tessaro_line_callback)(void* context, int warning, const char* line);
TESSARO_API int tessaro_on_line(tessaro_board* board, tessaro_line_callback callback,
                                void* context);

/* Between these, the moves of the thread that began are stored (another
 * thread's moves run as usual); the end starts them together. With `wait` 0
 * it returns once they started: tessaro_wait(TESSARO_ALL) waits. An end
 * while a drive is busy keeps what was stored. Only the collecting thread
 * ends or drops the collection. */
TESSARO_API int tessaro_collect_begin(tessaro_board* board);
TESSARO_API int tessaro_collect_end(tessaro_board* board, int wait);
/* Ends the collection without starting what it stored. */
TESSARO_API int tessaro_collect_drop(tessaro_board* board);

/* The drives' settings written to `path` (null: the settings file of the
 * connection), or read from it and sent to the drives: nothing when a line
 * of it cannot be used (a value a drive does not take is kept as it was,
 * the others taken; tessaro_settings_problems tells). */
TESSARO_API int tessaro_save_settings(tessaro_board* board, const char* path);
TESSARO_API int tessaro_load_settings(tessaro_board* board, const char* path);
/* The usable lines of `path` sent to the drives; the others are told (as
 * warning lines, and by tessaro_settings_problems). */
TESSARO_API int tessaro_load_usable_settings(tessaro_board* board, const char* path);
/* What was wrong with the settings read at connect or by the last load, one
 * problem a line (a line not used, a value a drive kept as it was); "" when
 * nothing was. */
TESSARO_API int tessaro_settings_problems(tessaro_board* board, char* text, size_t size,
                                          size_t* needed);
/* The lines of the settings file `path` that cannot be used, read without a
 * board (a file not there yet has none), one a line. */
TESSARO_API int tessaro_check_settings(const char* path, char* text, size_t size, size_t* needed);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_H */
