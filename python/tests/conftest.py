import mira


def pytest_report_header(config):
    mira.init()
    name = mira.device_name()
    return f"mira: {mira._library_path()}; GPU path on: {name or 'none (runs the CPU method)'}"
