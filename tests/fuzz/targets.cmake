# The fuzz targets, one per reader of outside input: built by the fuzz build (tests/fuzz) and
# replayed on their corpora by tst_fuzz_replay in every other build.
set(VARNEL_FUZZERS
    fuzz_project_file
    fuzz_meter_file
    fuzz_meter_import
    fuzz_box_replies
    fuzz_box_session
    fuzz_settings_int
    fuzz_hex_cell
    fuzz_table_number
    fuzz_table_text
    fuzz_log_reader
)
