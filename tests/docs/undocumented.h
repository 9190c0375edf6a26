/**
 * @file undocumented.h
 * @brief A header with an undocumented function and an undocumented
 *        enumerator beside documented ones: the documentation check
 *        (api_docs_check_* tests) must report both.
 */
#ifndef MIRA_TEST_UNDOCUMENTED_H
#define MIRA_TEST_UNDOCUMENTED_H

/**
 * @brief A documented function.
 * @param x Any value.
 * @return @p x.
 */
int mira_fixture_documented(int x);

int mira_fixture_undocumented(int x);

/** @brief A documented enumeration. */
enum mira_fixture_enum {
    MIRA_FIXTURE_DOCUMENTED_VALUE = 1, /**< A documented enumerator. */
    MIRA_FIXTURE_UNDOCUMENTED_VALUE = 2
};

#endif
