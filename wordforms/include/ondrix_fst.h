/* The word-form set: membership and fuzzy search over a file of encoded word forms.
 * Words are UTF-8 bytes with an explicit length; the path is NUL-terminated UTF-8.
 * Nothing here prints, raises or aborts: every failure is a null handle, false, 0 or -1. */
#ifndef ONDRIX_FST_H
#define ONDRIX_FST_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ondrix_fst ondrix_fst;

/* Maps the file read-only; null when it is missing, unreadable or not a valid set. */
ondrix_fst *ondrix_fst_open(const char *path);
/* Unmaps and frees; null is ignored. The handle must not be used afterwards. */
void ondrix_fst_close(ondrix_fst *handle);
/* Number of word forms; 0 for null. */
uint64_t ondrix_fst_len(const ondrix_fst *handle);
/* True only when the word, lower-cased and encoded, is in the set. */
bool ondrix_fst_contains(const ondrix_fst *handle, const char *word, size_t word_len);
/* Writes the forms within max_edits (clamped to 1..2) of the word into out, in alphabet
 * order, separated by line feeds and terminated by NUL; at most `limit` of them when limit
 * is 1 or more, and only as many as fit whole. Returns how many were written, or -1 for
 * bad arguments, a word that cannot be encoded or one longer than 64 letters (too large an
 * automaton); the buffer is then left untouched. */
int32_t ondrix_fst_fuzzy(const ondrix_fst *handle, const char *word, size_t word_len, int32_t max_edits,
                         int32_t limit, char *out, size_t out_len);

#ifdef __cplusplus
}
#endif

#endif
