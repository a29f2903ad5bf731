"""release/package-manifests and release/release --publish-url: manifests that name the zips as built and validate;
a bad setting, URL or manifest refused in one line, nothing written; what reviewers would refuse kept out."""
import hashlib
import json
import re
import shutil

import pytest
import yaml

from helpers import ROOT, VERSION, ZIPS, flip_byte, refused, run

TOOL = ROOT / "release" / "package-manifests"
URL = f"https://downloads.example/quillfen/{VERSION}"
GOOD = f"https://github.com/tidyware/quillfen/releases/download/v{VERSION}"
SETTINGS = {"identifier": "Tidyware.Quillfen", "publisher": "Tidyware", "name": "SAPI 5 Quillfen", "license": "MIT",
            "homepage": "https://tidyware.github.io/quillfen/", "repository": "https://github.com/tidyware/quillfen",
            "copyright": "Copyright (c) 2026 Tidyware", "short_description": "Lists the voices and removes one.",
            "description": "Lists the installed SAPI 5 voices and removes the one you pick.", "tags": "sapi, speech",
            "scoop_app": "quillfen"}
LOCALE = f"winget/manifests/t/Tidyware/Quillfen/{VERSION}/Tidyware.Quillfen.locale.en-US.yaml"
LOCALE_YAML, SCOOP, INSTALL = "locale.en-US.yaml", "scoop/quillfen.json", ROOT / "release" / "install-recorded-tools"
REPOSITORY, UNTAGGED, OTHER = SETTINGS["repository"], GOOD.replace("/v", "/"), GOOD.replace("tidyware", "other")


def settings_file(tmp_path, changes=None, head=""):
    """The publisher's own settings, with CHANGES made (a setting given None goes)."""
    package = {**SETTINGS, **(changes or {})}
    text = head + "[package]\n" + "".join(f"{key} = {value}\n" for key, value in package.items() if value is not None)
    (tmp_path / "settings.ini").write_text(text, encoding="utf-8")
    return tmp_path / "settings.ini"


def write(dist, url, settings):
    return run(TOOL, "write", dist, url, VERSION, "--settings", settings)


@pytest.fixture(scope="session")
def published(built):
    """The release with the manifests for its zips as downloaded from a placeholder host."""
    built.release("--out", built.work / "published", "--publish-url", f"{URL}/", check=True)
    return built.work / "published"


def test_the_manifests_name_the_zips_as_published_and_change_nothing_else(built, published, tmp_path):
    for name in ("SHA256SUMS", "BUILD-RECORD.txt"):
        assert (published / name).read_bytes() == (built.dist / name).read_bytes(), name
    expected = {(f"{URL}/{zip}", hashlib.sha256((published / zip).read_bytes()).hexdigest()) for zip in ZIPS.values()}
    folder = published / "winget" / "manifests" / "q" / "Quillfen" / "SAPI5Quillfen" / VERSION
    texts = {path.name: path.read_text() for path in folder.glob("*.yaml")}
    assert len(texts) == 3 and all("\n# yaml-language-server: $schema=https://" in text for text in texts.values())
    manifests = {name.split(".")[-2]: yaml.safe_load(text) for name, text in texts.items()}
    assert all(manifest["PackageVersion"] == VERSION for manifest in manifests.values())
    installers = manifests["installer"]["Installers"]
    assert {(i["InstallerUrl"], i["InstallerSha256"].lower()) for i in installers} == expected
    assert {i["Architecture"] for i in installers} == set(ZIPS)
    # A portable package: no installer's elevation, and notes on the rights asked for and how to start it.
    assert "ElevationRequirement" not in manifests["installer"]
    assert manifests["installer"]["MinimumOSVersion"] == "6.1.7601"
    assert all(words in manifests["en-US"]["InstallationNotes"] for words in ("administrator", "command SAPI5Quillfen"))
    scoop = json.loads((published / "scoop" / "sapi5quillfen.json").read_text())
    assert scoop["version"] == VERSION and sorted(scoop["architecture"]) == ["32bit", "64bit"] and "checkver" in scoop
    assert {(a["url"], a["hash"]) for a in scoop["architecture"].values()} == expected
    # A later release's manifest follows from autoupdate: for this one, exactly these URLs and SHA256SUMS.
    update = scoop["autoupdate"]
    assert {arch: a["url"].replace("$version", VERSION) for arch, a in update["architecture"].items()} == \
        {arch: a["url"] for arch, a in scoop["architecture"].items()}
    assert update["hash"]["url"].replace("$version", VERSION) == f"{URL}/SHA256SUMS"
    # The settings as shipped and the placeholder host are not ready for submission, each said by name.
    result = run(TOOL, "ready", published)
    assert result.returncode == 1 and len(result.stderr.splitlines()) == 6, result
    for setting in ("identifier", "publisher", "copyright", "homepage", "repository"):
        assert f"not ready for submission: release/package.ini: {setting}" in result.stderr, setting
    assert "not ready for submission: --publish-url: downloads.example is a placeholder host" in result.stderr
    # They validate until a zip changes.
    dist = shutil.copytree(published, tmp_path / "dist")
    assert run(TOOL, "check", dist).returncode == 0
    flip_byte(dist / ZIPS["x64"])
    refused(run(TOOL, "check", dist), "with a hash that is not the hash of", ZIPS["x64"])


BAD_SETTINGS = [
    ({"identifier": ""}, "identifier is empty"),
    ({"tags": None}, "tags is missing"),
    ({"scoop_app": None}, "scoop_app is missing"),
    ({"identifier": "Tidyware/Quillfen"}, "identifier 'Tidyware/Quillfen' is not of winget's Publisher.Package form"),
    ({"homepage": "https://tidyware.github.io/a b/"}, "homepage 'https://tidyware.github.io/a b/' is not a plain"),
    ({"repository": "http://github.com/tidyware/quillfen"}, "repository 'http://github.com/tidyware/quillfen'"),
    ({"scoop_app": "SAPI 5"}, "scoop_app 'SAPI 5' is not a plain lower-case name"),
    ({"scoop_app": "Quillfen"}, "scoop_app 'Quillfen' is not"),
    ({"short_description": "Lists the voices. " * 15},
     "short_description 'Lists the voices. Lists the voices. List'... is 269 characters long; winget takes 3 to 256"),
    ({"license": "MI"}, "license 'MI' is 2 characters long; winget takes 3 to 512"),
    ({"tags": "sapi, " + "a" * 41}, f"tags: '{'a' * 40}'... is 41 characters long; winget takes 1 to 40"),
    ({"tags": ",".join("abcdefghijklmnopq")}, "tags holds 17 tags; winget takes at most 16"),
    ({"tags": "sapi, speech, sapi"}, "tags names 'sapi' more than once"),
    ({"tags": ",".join("abcdefghijklmnop")}, None),
]


@pytest.mark.parametrize("changes, words", BAD_SETTINGS, ids=[words or "16 tags, taken" for _, words in BAD_SETTINGS])
def test_a_bad_setting_is_refused_by_name_with_nothing_written(built, tmp_path, changes, words):
    settings, dist = settings_file(tmp_path, changes), built.zips_in(tmp_path / "dist")
    for result in (run(TOOL, "settings", GOOD, VERSION, "--settings", settings), write(dist, GOOD, settings)):
        if words:
            refused(result, words)
        else:
            assert result.returncode == 0, result
    only_zips = sorted(path.name for path in dist.iterdir()) == sorted(ZIPS.values())
    assert only_zips if words else not only_zips


def test_a_settings_file_is_read_with_a_byte_order_mark_and_named_when_missing(tmp_path):
    result = run(TOOL, "settings", GOOD, VERSION, "--settings", settings_file(tmp_path, head="\ufeff"))
    assert result.returncode == 0 and result.stdout == GOOD + "\n", result
    missing = tmp_path / "no.ini"
    refused(run(TOOL, "settings", GOOD, VERSION, "--settings", missing), f"{missing} does not exist")


def damaged(name, pattern, new, words, id):
    """A row whose manifest NAME is damaged, PATTERN replaced by NEW, or the whole text NEW without one."""
    return pytest.param(GOOD, {}, lambda dist: (dist / name).write_text(
        re.sub(pattern, new, (dist / name).read_text()) if pattern else new), words, id=id)


@pytest.mark.parametrize("url, changes, damage, words", [
    pytest.param(GOOD, {}, None, None, id="a publisher's own settings"),
    pytest.param(UNTAGGED, {}, None, f"--publish-url: {UNTAGGED} is not", id="an untagged release"),
    pytest.param(OTHER, {}, None, f"--publish-url: {OTHER} is not", id="another repository's release"),
    pytest.param(GOOD, {"identifier": "quillfen.sapi5QUILLFEN"}, None, "settings.ini: identifier is still the default",
                 id="the default identifier, named in the settings read"),
    pytest.param(GOOD, {"repository": REPOSITORY[:-9]}, None, "tidyware is not of the form", id="no repository name"),
    pytest.param(GOOD, {"repository": REPOSITORY + ".git"}, None, "quillfen.git is not of the", id="repository.git"),
    pytest.param(GOOD, {"repository": REPOSITORY + "/tree/main"}, None, "/tree/main is not", id="a repository's tree"),
    pytest.param(GOOD, {"repository": REPOSITORY.replace(".com", ".com:443")}, None, ".com:443/tidyware/quillfen is",
                 id="a repository with a port"),
    pytest.param(GOOD, {}, lambda dist: shutil.rmtree(dist / "scoop"), "Scoop manifest", id="no Scoop manifest"),
    damaged(LOCALE, "Tags:", "Tags: [unclosed\nTags:", "cannot be read: ParserError", id="not YAML"),
    damaged(LOCALE, None, "- a list\n", f"{LOCALE_YAML} is not a mapping", id="a list"),
    damaged(LOCALE, "ManifestType: defaultLocale", "", f"{LOCALE_YAML} has no ManifestType", id="no ManifestType"),
    damaged(LOCALE, "ManifestType: defaultLocale", "ManifestType: other", "has the unknown ManifestType 'other'",
            id="an unknown ManifestType"),
    damaged(LOCALE, "Publisher: Tidyware", "Publisher: 2026", "defaultLocale schema: 2026 is not of type 'string'",
            id="a number for a text"),
    damaged(SCOOP, r'"url": ("[^"]*zip")', r'"url": [\1]', "quillfen.json names no zip, or one without",
            id="a list of URLs for a zip"),
])
def test_ready_refuses_what_reviewers_would_and_a_malformed_manifest_in_one_line(built, tmp_path, url, changes,
                                                                                 damage, words):
    dist, settings = built.zips_in(tmp_path / "dist"), settings_file(tmp_path, changes)
    assert write(dist, url, settings).returncode == 0
    (damage or (lambda dist: None))(dist)
    # check refuses a damaged manifest too; the settings, read before anything is written, say what ready says.
    also = ["check", dist] if damage else ["settings", url, VERSION, "--settings", settings, "--for-submission"]
    for result in (run(TOOL, "ready", dist, "--settings", settings), run(TOOL, *also)):
        if words:
            refused(result, words)
        else:
            assert result.returncode == 0, result


@pytest.mark.parametrize("options, words", [
    (["--publish-url", GOOD, "--for-submission"], "not ready for submission: release/package.ini: identifier"),
    *[(["--publish-url", url], "the publish URL must be https://") for url in [
        "http://downloads.example/q", "https://downloads.example/a b", "https://downloads.example/a'b",
        'https://downloads.example/"q"', "ftp://downloads.example/q"]],
])
def test_a_refused_url_or_submission_stops_the_release_before_anything_is_built(built, tmp_path, options, words):
    result = built.release("--out", tmp_path / "refused", *options)
    assert result.returncode == 1 and words in result.stderr and "Traceback" not in result.stderr, result
    assert not (tmp_path / "refused").exists()


@pytest.mark.parametrize("arguments", [
    pytest.param([TOOL], id="no command"), pytest.param([TOOL, "write", "dist"], id="write without URL"),
    pytest.param([TOOL, "check", "a", "b"], id="check of two"), pytest.param([INSTALL], id="no record"),
    pytest.param([INSTALL, "--dry-run", "--fetch", "x", "r"], id="dry run and fetch"),
])
def test_a_usage_error_exits_2(arguments):
    result = run(*arguments)
    assert result.returncode == 2 and "usage:" in result.stderr, result
