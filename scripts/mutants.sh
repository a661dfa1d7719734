#!/usr/bin/env bash
# Plants single-line faults one at a time in a scratch copy of the tree, runs
# the suite against each and reports the faults it let through. A tool for
# developers, not part of ./test.sh: run it after changing the game's rules or
# its tests. Needs python3, xvfb-run and a configured toolchain (./test.sh once).
#
#   scripts/mutants.sh                   every fault
#   scripts/mutants.sh Shop.cpp hatOn    only the faults whose line holds one of the words
#
# Each fault below is one line: file @@ exact text @@ replacement (\n for a
# line break). A text that is not found exactly once stops the run, so the
# list cannot rot silently when the code changes.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
scratch=${MUTANTS_DIR:-/tmp/pellucane-mutants}
filters=("$@")
# seconds one fault may take to build and test
limit=600

mutants=$(grep -v '^#' <<'EOF'
app/Engine.cpp @@ constexpr double MaxFrameSeconds = 0.12; @@ constexpr double MaxFrameSeconds = 0.125;
app/Engine.cpp @@ deltaSeconds = (currentTickMs - lastTickMs) / 1000.0; @@ deltaSeconds = (currentTickMs - lastTickMs) / 1000.0f;
app/Engine.cpp @@         update();\n    } @@     }
app/Backdrop.cpp @@ static_cast<float>(std::trunc(std::fabs(left - right))), @@ static_cast<float>(std::fabs(left - right)),
app/main.cpp @@ setUpKeyboard(); @@ glutIgnoreKeyRepeat(1);\n        setUpKeyboard();
input/InputState.cpp @@ const bool leftDown = button == GLUT_LEFT_BUTTON && state == GLUT_DOWN; @@ const bool leftDown = state == GLUT_DOWN;
input/InputState.cpp @@ const double normalX = static_cast<double>(centredX) / static_cast<double>(halfHeight); @@ const double normalX = static_cast<double>(centredX) / static_cast<double>(halfWidth);
input/InputState.cpp @@ void onPassiveMotion(int x, int y) { onMotion(x, y); } @@ void onPassiveMotion(int, int) {}
input/InputState.cpp @@         applySeatInput(input); @@ 
input/InputState.cpp @@ if (!InputState::instance().heldKeys.press(key)) { @@ if (false) {
input/InputState.cpp @@ InputState::instance().heldKeys.release(key); @@ 
input/KeyboardX11.cpp @@ XkbSetDetectableAutoRepeat(display, True, nullptr); @@ 
input/KeyboardX11.cpp @@ if (XEventsQueued(display, QueuedAlready) > 0) { @@ if (true) {
render/SpriteQuad.cpp @@ {0.0f, 1.0f, -0.5f, -0.5f}, @@ {0.0f, 0.0f, -0.5f, -0.5f},
render/SpriteQuad.cpp @@ glScalef(width, height, 1.0f); @@ glScalef(width, width, 1.0f);
render/SpriteQuad.cpp @@ glAlphaFunc(GL_GREATER, 0.0f); @@ glAlphaFunc(GL_GREATER, 0.5f);
render/Font.cpp @@ releaseGlyphs();\n    textures = std::move(made); @@ textures = std::move(made);
render/PngDecode.cpp @@ png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON); @@ png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON); png_set_crc_action(reader.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
render/GlyphRasteriser.cpp @@ budgetLeft -= textureBytes(glyph.width, glyph.rows); @@ 
render/Camera.cpp @@ const int askedHeight = std::max((3 * width) / 4, 1); @@ const int askedHeight = (3 * width) / 4;
render/PictureCache.cpp @@ if (!decodeTextureLevels(path.c_str(), maxSize, decoded.levels)) {\n        return nullptr;\n    } @@ decodeTextureLevels(path.c_str(), maxSize, decoded.levels);
render/PngDecode.cpp @@ png_set_gamma_fixed(png, PNG_GAMMA_sRGB, fileGamma); @@ 
render/PngBind.cpp @@ constexpr std::uint64_t CopyLimit = 160ull << 20; @@ constexpr std::uint64_t CopyLimit = 256ull << 20;
render/PngBind.cpp @@ ++first;\n    }\n    return first; @@ ++first;\n    }\n    return 0;
render/PngDecode.cpp @@ layout.interlaced ? PNG_ROW_FROM_PASS_ROW(index, pass) : index; @@ index;
render/Camera.cpp @@ constexpr double FarPlane = 200.0; @@ constexpr double FarPlane = 20.0;
render/Font.cpp @@ const float h = height / 0.63f; @@ const float h = height / 0.6f;
render/GlyphRasteriser.cpp @@ std::lround(static_cast<double>(size) * 64.0 * static_cast<double>(scale))); @@ std::lround(static_cast<double>(size) * 60.0 * static_cast<double>(scale)));
market/Market.cpp @@ const int xRoll = randomBetween(-48, 48);\n    const int genderRoll = randomBetween(1, 3); @@ const int genderRoll = randomBetween(1, 3);\n    const int xRoll = randomBetween(-48, 48);
market/Market.cpp @@ {true, 0, &Market::musicBoxWins},  {true, 1, &Market::hotbeatsWins}, @@ {true, 0, &Market::hotbeatsWins},  {true, 1, &Market::musicBoxWins},
market/Market.cpp @@ shops[rule.shop].getMoney() >= WinningMoney @@ shops[rule.shop].getMoney() > WinningMoney
market/Market.cpp @@ if (elapsedMs() - footstepsStartMs >= FootstepsGapMs) { @@ if (elapsedMs() - footstepsStartMs > FootstepsGapMs) {
market/Market.cpp @@ if (shop.getProduct() == 0.0f) { @@ if (shop.getProduct() < 0.0f) {
market/Market.cpp @@     updateSidebar(dt);\n    fireButtons(); @@     fireButtons();
market/Market.cpp @@ } else if (mouseDown && elapsedMs() - pressMs > ButtonRepeatDelayMs && @@ } else if (mouseDown && elapsedMs() - pressMs >= ButtonRepeatDelayMs &&
market/Market.cpp @@ elapsedMs() - lastFireMs > ButtonRepeatMs) { @@ elapsedMs() - lastFireMs >= ButtonRepeatMs) {
market/Market.cpp @@ constexpr int ButtonRepeatDelayMs = 500; @@ constexpr int ButtonRepeatDelayMs = 100;
market/Market.cpp @@ if (shops[0].getMoney() <= 0.0f) { @@ if (shops[0].getMoney() < 0.0f) {
market/Market.cpp @@ fireButtonAt(pressesWaiting[i].x, pressesWaiting[i].y); @@ fireButtonAt(mouseX, mouseY);
market/Market.cpp @@ pressesWaiting[pressCount++] = {mouseX, mouseY}; @@ pressesWaiting[0] = {mouseX, mouseY}; pressCount = 1;
market/Market.cpp @@         pressCount = 0;\n    } else if @@     } else if
market/Market.cpp @@     pressMs = elapsedMs();\n @@ \n
input/InputState.cpp @@     input.mapCursor(x, y);\n    // A press on a still @@     static_cast<void>(x + y);\n    // A press on a still
input/KeyboardX11.cpp @@ return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0; @@ return code != 0 && (keys[code / 8] & (1 << (code % 7))) != 0;
market/Market.cpp @@     if (gameOver) {\n        return; @@     if (false) {\n        return;
market/Market.cpp @@ shopper.setHatForShop(s); @@ shopper.setHatForShop(0);
market/Market.cpp @@ share[2] = share[2] + share[1]; @@ share[2] = share[2] + share[0];
market/Market.cpp @@ shopper.setWillCarryBag(shop.hasStock()); @@ shopper.setWillCarryBag(false);
market/Market.cpp @@ const int chosen = shopForDraw(randomBetween(1, 100)); @@ const int chosen = shopForDraw(randomBetween(1, 101));
market/Market.cpp @@ if (r <= cumulativeShare[i]) { @@ if (r < cumulativeShare[i]) {
market/Market.cpp @@ return std::sqrt(dx * dx + dy * dy) <= radius; @@ return std::sqrt(dx * dx + dy * dy) < radius;
market/Market.cpp @@ insideHeader(sidebar.saleMenuButtonX, sidebar.saleBandY, mouseX, mouseY, radius, half)); @@ insideHeader(sidebar.saleMenuButtonX, sidebar.saleBandY, mouseX, mouseY, half, radius));
market/Market.cpp @@ glColor4f(0.0f, 1.0f, 0.0f, 1.0f); @@ glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
market/Market.cpp @@ constexpr float BannerY = 40.0f; @@ constexpr float BannerY = 42.0f;
market/Customer.cpp @@ constexpr float HeadingRate = 4.5f; @@ constexpr float HeadingRate = 4.0f;
market/Customer.cpp @@ x += deltaX * HeadingRate * dt; @@ x += deltaX * (HeadingRate * dt);
market/Customer.cpp @@ if (animTimer > WalkFrameSeconds) { @@ if (animTimer >= WalkFrameSeconds) {
market/Customer.cpp @@ if (x >= WrapX) { @@ if (x > WrapX) {
market/Customer.cpp @@ bagOn = willCarryBag; @@ bagOn = true;
market/Customer.cpp @@             hatOn = false;\n @@ \n
market/Customer.cpp @@     &Customer::visorList,\n @@     &Customer::topHatList,\n
market/Customer.cpp @@ return targetX - ArrivalTolerance <= x && x <= targetX + ArrivalTolerance && @@ return targetX - ArrivalTolerance < x && x <= targetX + ArrivalTolerance &&
market/Customer.cpp @@ void Customer::setGender(int roll) { gender = roll == 1 ? 0 : 1; } @@ void Customer::setGender(int roll) { gender = roll == 2 ? 0 : 1; }
market/DayClock.cpp @@ minuteGain = static_cast<float>(stepMs * MinuteGainPerMs); @@ minuteGain = static_cast<float>(stepMs) * static_cast<float>(MinuteGainPerMs);
market/DayClock.cpp @@ if (FrameTimesPerMinute * dt < minuteAccumulator) { @@ if (FrameTimesPerMinute * dt <= minuteAccumulator) {
market/DayClock.cpp @@ if (hourCount > HoursPerDay) { @@ if (hourCount >= HoursPerDay) {
market/DayClock.cpp @@ if (hour > 12.0f) { @@ if (hour >= 12.0f) {
market/DayClock.cpp @@ constexpr int SunFlickerMs = 300; @@ constexpr int SunFlickerMs = 250;
market/DayClock.cpp @@ isAM ? "AM" : "PM" @@ isAM ? "PM" : "AM"
shop/Shop.cpp @@ constexpr float CostTextTop = 60.0f; @@ constexpr float CostTextTop = 65.0f;
shop/Shop.cpp @@             SoundBank::instance().playSample(CashSample);\n @@ \n
shop/Shop.cpp @@ if (saleSize <= saleTargetSize) { @@ if (saleSize < saleTargetSize) {
shop/Shop.cpp @@ bankrupt = money <= 0.0f; @@ bankrupt = money < 0.0f;
shop/Shop.cpp @@ profit = money - static_cast<float>(lastMoney); @@ profit = money - static_cast<float>(lastMoney) - 1.0f;
shop/Shop.cpp @@ {&Shop::sale30, 28.0f, 1.6}; @@ {&Shop::sale30, 28.0f, 1.5};
shop/Shop.cpp @@ {&Shop::sale60, 105} @@ {&Shop::sale60, 100}
shop/Shop.cpp @@ const float* productColour = product <= 0.0f ? Red : colour; @@ const float* productColour = product < 0.0f ? Red : colour;
shop/Shop.cpp @@ drawSpriteQuad(signList, x, y + halfSize, z, size / 3.0f, size / 4.0f); @@ drawSpriteQuad(signList, x, y + halfSize, z, size / 4.0f, size / 4.0f);
shop/Shop.cpp @@ handoutY = y - halfSize / 2.0f; @@ handoutY = y - halfSize / 3.0f;
shop/Shop.cpp @@ bool Shop::hasStock() const { return product >= 0.0f; } @@ bool Shop::hasStock() const { return product > 0.0f; }
shop/Shop.cpp @@     shop.saleSize = 0.0f;\n @@ \n
shop/Shop.cpp @@ if (x - halfSize <= handoutX) { @@ if (x - halfSize < handoutX) {
shop/ShopCommands.cpp @@ {"MEDIUM SIGN BUTTON", "MEDSIGN BUTTON", @@ {"MEDIUM SIGN BUTTON", "MEDIUM SIGN BUTTON",
shop/ShopCommands.cpp @@ &Shop::toggleSale20, InflateSample, '2', '9', Sale20Button}, @@ &Shop::toggleSale30, InflateSample, '2', '9', Sale20Button},
shop/ShopCommands.cpp @@ if (shop.getMoney() <= 0.0f) { @@ if (shop.getMoney() < 0.0f) {
shop/ShopCommands.cpp @@ &Shop::toggleWindowDisplay, WindowSample, @@ &Shop::toggleWindowDisplay, HeySample,
shop/Sidebar.cpp @@ constexpr float StripSpeed = 70.0f; @@ constexpr float StripSpeed = 72.0f;
shop/Sidebar.cpp @@ if (open && stripX <= stripMax) { @@ if (open && stripX < stripMax) {
shop/Sidebar.cpp @@ productButtonY = saleMenuButtonY - 4.0f * buttonSize; @@ productButtonY = saleMenuButtonY - 3.0f * buttonSize;
shop/Sidebar.cpp @@ drawSpriteQuad(panelList, panelX, panelY, panelZ, panelWidth, 3.0f * panelWidth); @@ drawSpriteQuad(panelList, panelX, panelY, panelZ, panelWidth, 2.0f * panelWidth);
audio/SoundBank.cpp @@ Mix_PlayMusic(musicStream, -1); @@ Mix_PlayMusic(musicStream, 1);
audio/SoundBank.cpp @@ Mix_PlayChannel(channel, samples[index], 0); @@ Mix_PlayChannel(channel, samples[index], -1);
audio/SoundBank.cpp @@ channel = Mix_GroupOldest(index); @@ channel = Mix_GroupNewer(index);
audio/SoundBank.cpp @@ "./sound/bell.mp3",   "./sound/menu.mp3", @@ "./sound/menu.mp3",   "./sound/bell.mp3",
render/PngDecode.cpp @@ return TextureBox{edge(left > 0 ? left - 1 : 0, grid.width), @@ return TextureBox{edge(left, grid.width),
render/PngDecode.cpp @@ edge(std::min(bottom + 1, grid.height), grid.height)}; @@ edge(bottom, grid.height)};
render/PngDecode.cpp @@ right = std::max(right, last + 1); @@ right = std::max(right, first + 1);
render/SpriteQuad.cpp @@ scissoring && drawing == SpriteDrawing::AlphaTested ? &shown : nullptr; @@ scissoring ? &shown : nullptr;
render/SpriteQuad.cpp @@ const WindowPoint high = inWindow(box.right, box.top); @@ const WindowPoint high = inWindow(box.right, box.bottom);
render/Camera.cpp @@ const double centreX = viewportLeft + viewportWidth / 2.0; @@ const double centreX = viewportWidth / 2.0;
render/Camera.cpp @@ viewportLeft = (windowWidth - viewportWidth) / 2; @@ viewportLeft = 0;
render/Camera.cpp @@ glClear(GL_COLOR_BUFFER_BIT);\n        } @@ }
input/InputState.cpp @@ static_cast<float>(x - camera.viewportLeft - halfWidth); @@ static_cast<float>(x - halfWidth);
render/Font.cpp @@ const float w = static_cast<float>(glyph.width) / scale; @@ const float w = static_cast<float>(glyph.width);
render/SpriteQuad.cpp @@ if (scissored) {\n        glDisable(GL_SCISSOR_TEST);\n    } @@ 
render/PngBind.cpp @@ return returned(known->texture, known->visible); @@ return returned(known->texture, TextureBox{0.0f, 0.0f, 0.0f, 0.0f});
protocol/Room.cpp @@         pending.push_back(message.input); @@         pending.insert(pending.begin(), message.input);
protocol/Room.cpp @@         if ((from->seats & 1u << message.input.seat) == 0) { @@         if (from->seats == 0) {
protocol/Room.cpp @@ if (voter != nullptr && counts.size() > 1 && (!majority || each.second != most->first)) { @@ if (voter != nullptr && counts.size() > 1 && !majority) {
protocol/Room.cpp @@ if (each.id != 0 && nowMs - each.lastHeardMs >= SilentDropMs) { @@ if (each.id != 0 && nowMs - each.lastHeardMs > SilentDropMs) {
protocol/Room.cpp @@     from->lastHeardMs = nowMs; @@ 
net/Lockstep.cpp @@ market.update(static_cast<float>((now - before) / 1000.0)); @@ market.update(static_cast<float>((now - before) / 999.0));
net/Lockstep.cpp @@         if ((tick + 1) % TicksPerSecond == 0) { @@         if ((tick + 1) % TicksPerSecond == 1) {
net/Lockstep.cpp @@     seats = answer.seats; @@     seats = 0;
net/Lockstep.cpp @@     RandomGenerator::seed(answer.seed); @@ 
app/main.cpp @@ return Lockstep::instance().asked ? startWhenJoined(startGame) : startGame(); @@ return startGame();
protocol/Room.cpp @@     if (hello.token != SeatToken{} && hello.tick != 0) { @@     if (false) {
protocol/Room.cpp @@         return each.id == 0 && nowMs - each.awaySinceMs >= holdMs; @@         return each.id == 0 && nowMs - each.awaySinceMs > 10 * holdMs;
protocol/Room.cpp @@             if (ticks.inputs.size() + count > MaxInputsPerMessage && next->tick > first) { @@             if (ticks.inputs.size() + count > MaxInputsPerMessage + 2 && next->tick > first) {
net/Lockstep.cpp @@             unsent.push_back(input); @@ 
net/Lockstep.cpp @@     } else if (now - heardMs >= QuietLinkMs) { @@     } else if (false) {
EOF
)

# Applies every fault that matches the filter to the tree under $1, in place
# (write) or only checking that each text occurs exactly once (check).
apply=$(cat <<'PY'
import sys
root, mode, wanted = sys.argv[1], sys.argv[2], sys.argv[3:]
for line in sys.stdin.read().splitlines():
    if not line or (wanted and not any(word in line for word in wanted)):
        continue
    path, old, new = (part.replace('\\n', '\n') for part in line.split(' @@ ', 2))
    text = open(f"{root}/{path}").read()
    if text.count(old) != 1:
        sys.exit(f"mutants.sh: {path}: the text to change occurs {text.count(old)} times: {old!r}")
    if mode == 'write':
        open(f"{root}/{path}", 'w').write(text.replace(old, new))
PY
)
substitute() { python3 -c "$apply" "$@"; }

# One scratch copy with its own build; each fault rebuilds only what it touches.
# Files are copied only when they differ, so unchanged ones keep their build.
while IFS= read -r file; do
    if ! cmp -s "$source/$file" "$scratch/src/$file"; then
        mkdir -p "$(dirname "$scratch/src/$file")"
        cp "$source/$file" "$scratch/src/$file"
    fi
done < <(git ls-files --cached --others --exclude-standard)
substitute "$scratch/src" check "${filters[@]}" <<<"$mutants"
cmake -S "$scratch/src" -B "$scratch/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/build" -j2 >/dev/null

total=0
caught=0
survivors=()
started=$SECONDS
while IFS= read -r line; do
    [[ -z $line ]] && continue
    if ((${#filters[@]})); then
        wanted=no
        for word in "${filters[@]}"; do
            [[ $line == *"$word"* ]] && wanted=yes
        done
        [[ $wanted == yes ]] || continue
    fi
    file=${line%% @@ *}
    new=${line##* @@ }
    cp "$scratch/src/$file" "$scratch/original"
    substitute "$scratch/src" write "$line" <<<"$line"
    total=$((total + 1))
    verdict=survived
    if ! timeout "$limit" cmake --build "$scratch/build" -j2 </dev/null >"$scratch/build.log" 2>&1; then
        verdict="does not build"
    # -noreset: else the server resets when its last client leaves and drops
    # a test connecting just then ("failed to open display"), a false catch.
    elif ! LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy timeout "$limit" \
        xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
        ctest --test-dir "$scratch/build" -j2 --stop-on-failure -E '^(style|install)\.' \
        </dev/null >"$scratch/test.log" 2>&1; then
        verdict=caught
        caught=$((caught + 1))
    fi
    cp "$scratch/original" "$scratch/src/$file"
    printf '%-14s %s: %s\n' "$verdict" "$file" "$new"
    [[ $verdict == caught ]] || survivors+=("$line ($verdict)")
done <<<"$mutants"
# Leave the scratch build matching the tree again.
cmake --build "$scratch/build" -j2 >/dev/null

echo
echo "caught $caught of $total faults in $((SECONDS - started)) s"
for survivor in "${survivors[@]}"; do
    echo "survived: $survivor"
done
