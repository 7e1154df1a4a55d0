/* Every row of README's "### Result codes" table gives, without its code
 * marks, the text zebResultText answers, and every ZEB_E_ code of zeb.h
 * (ZEB_E_CODES, taken from the header at configure time) has a row. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zeb.h"

static const long kCodes[] = {ZEB_E_CODES};
#define kCodeCount (sizeof kCodes / sizeof kCodes[0])

int main(void) {
    FILE* readme = fopen(README_PATH, "r");
    if (readme == NULL) return perror(README_PATH), 1;
    char line[4096], meaning[4096];
    int inTable = 0, failures = 0, seen[kCodeCount] = {0};
    while (fgets(line, sizeof line, readme) != NULL) {
        if (strncmp(line, "### Result codes", 16) == 0) inTable = 1;
        else if (inTable && line[0] == '#') break;
        char* bar = inTable && line[0] == '|' ? strchr(line + 1, '|') : NULL;
        if (bar == NULL) continue;
        char* end = NULL;
        const long code = strtol(bar + 1, &end, 10);
        if (end == bar + 1 || (end = strchr(end, '|')) == NULL) continue; /* head, rule */
        size_t n = 0;
        for (const char* c = end + 1; *c != '\0' && *c != '\n'; ++c)
            if (*c != '`' && (n > 0 || *c != ' ')) meaning[n++] = *c;
        while (n > 0 && (meaning[n - 1] == '|' || meaning[n - 1] == ' ')) --n;
        meaning[n] = '\0';
        if (strcmp(meaning, zebResultText((int32_t)code)) != 0) {
            fprintf(stderr, "%ld: README \"%s\", zebResultText \"%s\"\n", code, meaning,
                    zebResultText((int32_t)code));
            ++failures;
        }
        for (size_t i = 0; i < kCodeCount; ++i) seen[i] |= kCodes[i] == code;
    }
    fclose(readme);
    for (size_t i = 0; i < kCodeCount; ++i)
        if (!seen[i]) fprintf(stderr, "%ld: no row in README\n", kCodes[i]), ++failures;
    if (strcmp(zebResultText(12345), "unknown result code") != 0) ++failures;
    return failures == 0 ? 0 : 1;
}
