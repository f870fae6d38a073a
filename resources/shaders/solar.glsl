// The light design: a high-range scene, two blur passes for the bloom and a composite into the
// window. One text for every stage: the loader puts "#version 330 core" first with one of
// SOLAR_VERTEX, SOLAR_MOTE_VERTEX (vertex stages), SOLAR_MOTES, SOLAR_GRACE, SOLAR_BLUR or
// SOLAR_COMPOSITE (fragment stages) defined. Lengths are points.
//
// The motes are drawn before the scene as small quads around each one, added into a target of
// the scene's size (listening in red, returning in green) that the scene reads at its pixel:
// the same sums as a loop over all forty motes in every pixel, which would cost a software
// renderer ten times the rest of the scene.
//
// Orientation: gl_FragCoord and texture coordinates both start at the bottom-left, so every
// pass keeps the scene's orientation and a scene pixel at height py ends up py above the
// window's bottom edge.

layout(std140) uniform SolarU {
    float resW;
    float resH;
    float scale;
    float time;
    float level;
    float levelFast;
    float reveal;
    float recognizing;
    float returning;
    float particleOnly;
    float recognitionTime;
    float recognitionReveal;
    float recognitionVoice;
    float success;
    float successTime;
    float motion;
    float variant;
    float cloud;
    float edgeSide;
} u;

layout(std140) uniform SolarBlurU {
    float inverseWidth;
    float inverseHeight;
    float radius;
    float threshold;
} blurU;

layout(std140) uniform SolarCompositeU {
    float bloomStrength;
    float exposure;
    float variant;
    float padding;
} compositeU;

struct SolarVOut {
    vec4 position;
    vec2 uv;
};

const float SOLAR_SOURCE_Y = 23.25;

float solarLuminance(vec3 c) { return dot(c, vec3(0.2126, 0.7152, 0.0722)); }

float solarHash(float v) { return fract(sin(12.9898 * v + 78.233) * 43758.5453); }

float solarEase(float p) {
    p = clamp(p, 0.0, 1.0);
    if (p < 0.5) return 4.0 * p * p * p;
    float q = 2.0 - 2.0 * p;
    return 1.0 - q * q * q / 2.0;
}

float solarSegmentDistance(vec2 p, vec2 a, vec2 b) {
    vec2 ab = b - a;
    float t = clamp(dot(p - a, ab) / max(dot(ab, ab), 0.0001), 0.0, 1.0);
    return length(p - (a + ab * t));
}

// Along a beam: 1 at the source, 0.82 at 0.12, 0.19 at 0.66, 0.035 at 0.90, 0 at the end.
float solarGraceFalloff(float p) {
    p = clamp(p, 0.0, 1.0);
    if (p < 0.12) return mix(1.0, 0.82, smoothstep(0.0, 0.12, p));
    if (p < 0.66) return mix(0.82, 0.19, smoothstep(0.12, 0.66, p));
    if (p < 0.90) return mix(0.19, 0.035, smoothstep(0.66, 0.90, p));
    return mix(0.035, 0.0, smoothstep(0.90, 1.0, p));
}

// The eight rays: source x, end x, end y, half-width, blur, base alpha, phase.
const float RAY_SOURCE_X[8] = float[8](-6.0, -6.0, -6.0, -6.0, 6.0, 6.0, 6.0, 6.0);
const float RAY_END_X[8] = float[8](-171.0, -113.25, -63.0, -20.25, 22.5, 68.25, 119.25, 175.5);
const float RAY_END_Y[8] = float[8](184.5, 207.0, 225.0, 243.0, 236.25, 220.5, 202.5, 180.0);
const float RAY_HALF_WIDTH[8] = float[8](40.5, 32.25, 25.5, 18.75, 19.5, 27.0, 33.0, 41.25);
const float RAY_BLUR[8] = float[8](15.75, 12.75, 9.75, 6.75, 6.75, 9.75, 12.75, 16.5);
const float RAY_ALPHA[8] = float[8](0.17, 0.22, 0.30, 0.39, 0.38, 0.29, 0.21, 0.15);
const float RAY_PHASE[8] = float[8](0.4, 1.6, 2.5, 3.2, 1.0, 2.1, 3.8, 2.9);
const float RAY_GOLD[8] = float[8](1.10, 0.94, 0.70, 0.36, 0.38, 0.70, 0.96, 1.12);
const float RAY_WHITE[8] = float[8](0.08, 0.24, 0.82, 1.58, 1.52, 0.78, 0.22, 0.07);
const float RAY_BODY_WHITE[8] = float[8](0.0, 0.0, 0.12, 0.52, 0.49, 0.11, 0.0, 0.0);

float solarGraceRaySourceX(int i) { return RAY_SOURCE_X[i]; }
float solarGraceRayEndpointX(int i) { return RAY_END_X[i]; }
float solarGraceRayEndpointY(int i) { return RAY_END_Y[i]; }
float solarGraceRayHalfWidth(int i) { return RAY_HALF_WIDTH[i]; }
float solarGraceRayPhase(int i) { return RAY_PHASE[i]; }

// One beam at the point relative to the source: its (edge, body, core).
vec3 solarGraceBeam(vec2 p, float sx, float ex, float ey, float hw, float bl, float a, float ph, float t,
                    float spread, float motion) {
    float sway = sin(0.72 * t + ph) * 13.5 * spread * motion;
    float glint = 0.78 + 0.22 * sin(1.85 * t + 1.7 * ph) * motion;
    float len = ey * (1.0 + 0.055 * sin(0.91 * t + ph) * motion);
    if (p.y < 0.0 || p.y > len) return vec3(0.0);
    float progress = clamp(p.y / max(len, 1.0), 0.0, 1.0);
    float centre = mix(sx, ex * spread + sway, progress);
    float width = mix(2.35, hw * (0.62 + 0.66 * spread), progress);
    float d = abs(p.x - centre);
    float wq = d / max(width + 0.62 * bl, 1.0);
    float wide = exp(-wq * wq);
    float bodyEdge = max(width + 0.28 * bl, 1.4);
    float body = max(1.0 - smoothstep(0.18 * bodyEdge, bodyEdge, d), 0.45 * wide);
    float nq = d / max(2.4 + 0.06 * bl, 1.0);
    body = mix(exp(-nq * nq), body, smoothstep(0.04, 0.22, progress));
    float cq = d / max(1.15, 0.105 * width + 0.022 * bl);
    float core = exp(-cq * cq);
    float edge = max(wide - 0.76 * body, 0.0);
    float strength = solarGraceFalloff(progress) * a * glint * mix(0.18, 1.0, smoothstep(0.0, 0.12, progress));
    return vec3(0.60 * edge, 0.92 * body, 0.30 * core) * strength;
}

vec2 solarGraceParticlePoint(int i, float t, float rv, float vc, float motion) {
    int ray = i % 8;
    float fi = float(i);
    float visible = smoothstep(0.0, 1.0, clamp(rv, 0.0, 1.0));
    float entry = mix(0.22, 1.0, visible);
    float raySpread = mix(0.30, 1.0, visible) * (1.0 + 0.12 * vc);
    float seed = solarHash(fi + 31.0);
    float speed = 0.025 + 0.055 * solarHash(fi + 67.0);
    float depth = 0.08 + 0.84 * fract(seed + t * speed * motion);
    float phase = solarGraceRayPhase(ray);
    float sway = sin(0.72 * t + phase) * 13.5 * raySpread * motion;
    float rayLength = solarGraceRayEndpointY(ray) * entry * (1.0 + 0.055 * sin(0.91 * t + phase) * motion);
    float centre = mix(solarGraceRaySourceX(ray), solarGraceRayEndpointX(ray) * raySpread + sway, depth);
    float width = mix(2.35, solarGraceRayHalfWidth(ray) * (0.62 + 0.66 * raySpread), depth);
    float lateral = (2.0 * solarHash(fi + 907.0) - 1.0) * 0.62 * width;
    float drift = sin(t * (0.66 + 0.31 * seed) + 1.31 * fi) * min(0.18 * width, 5.5) * motion;
    return vec2(centre + lateral + drift, SOLAR_SOURCE_Y + rayLength * depth);
}

// A mote's look at the point: a rippled body at the head, a wake along the segment to the tail
// and a soft halo; r and rt are the body's and the wake's radii (scale x (0.72 + 2.45
// solarHash(seed + 19)) and scale x (0.66 + 1.18 solarHash(seed + 43))).
float solarOrganicSpark(vec2 point, vec2 head, vec2 tail, float seed, float r, float rt) {
    float hd = length(point - head);
    float sd = solarSegmentDistance(point, head, tail);
    if (hd / max(r, 0.1) > 4.8 && sd / max(rt, 0.1) > 4.8) return 0.0;
    vec2 q = point - head;
    float edgeRipple = 0.88 + 0.085 * sin(1.73 * q.x + 1.09 * q.y + 37.0 * seed) +
                       0.045 * sin(-2.31 * q.x + 1.87 * q.y + 19.0 * seed);
    float trailRipple = 0.92 + 0.08 * sin(1.13 * point.x - 1.61 * point.y + 29.0 * seed);
    float body = exp(-pow(hd / max(r * edgeRipple, 0.18), 1.58));
    float wake = exp(-pow(sd / max(rt * trailRipple, 0.18), 1.48));
    float hq = hd / max(2.75 * r, 0.3);
    float halo = exp(-hq * hq);
    return 0.86 * body + 0.24 * wake + 0.22 * halo;
}

vec2 solarSuccessPoint(vec2 start, float seed, float progress) {
    float t = solarEase(progress);
    vec2 control = vec2(start.x * (0.40 + 0.18 * solarHash(seed + 9.0)), 30.0 + 64.0 * solarHash(seed + 31.0));
    vec2 end = vec2(5.0 * (2.0 * solarHash(seed + 63.0) - 1.0), 20.0);
    float s = 1.0 - t;
    return s * s * start + 2.0 * s * t * control + t * t * end;
}

float solarVoice() { return pow(clamp(2.2 * u.levelFast, 0.0, 1.0), 0.72); }
float solarHandoffVoice() { return pow(clamp(2.2 * u.recognitionVoice, 0.0, 1.0), 0.72); }

// The field point of a pixel of the scene (device pixels from the bottom-left), and back.
vec2 solarFieldPoint(vec2 position) {
    float sc = max(u.scale, 1.0);
    vec2 size = vec2(u.resW, u.resH) / sc;
    float px = position.x / sc;
    float py = position.y / sc;
    if (abs(clamp(u.edgeSide, -1.0, 1.0)) < 0.5) return vec2(px - size.x / 2.0, size.y - py);
    float inward = u.edgeSide > 0.0 ? px : size.x - px;
    float up = py;
    return vec2((up - inward) * 0.70710678, SOLAR_SOURCE_Y + (inward + up) * 0.70710678);
}

vec2 solarWindowPoint(vec2 field) {
    float sc = max(u.scale, 1.0);
    vec2 size = vec2(u.resW, u.resH) / sc;
    if (abs(clamp(u.edgeSide, -1.0, 1.0)) < 0.5) return vec2(field.x + size.x / 2.0, size.y - field.y) * sc;
    float a = field.x / 0.70710678;                    // up - inward
    float b = (field.y - SOLAR_SOURCE_Y) / 0.70710678;  // up + inward
    float up = (a + b) / 2.0;
    float inward = (b - a) / 2.0;
    return vec2(u.edgeSide > 0.0 ? inward : size.x - inward, up) * sc;
}

// Mote i (0 to 39) while listening, or on its flight back to the source: its head and tail, the
// radii of its body and wake, its weight (0: not drawn) and its look's seed.
void solarMote(int i, bool returning, out vec2 head, out vec2 tail, out vec4 look) {
    float fi = float(i);
    float reveal = smoothstep(0.0, 1.0, clamp(u.reveal, 0.0, 1.0));
    float voice = solarVoice();
    float returnPhase = clamp(u.returning, 0.0, 1.0);
    float time = u.time * u.motion;
    float motion = clamp(u.motion, 0.0, 1.0);
    float sizeSeed = solarHash(fi + 103.0);
    float sparkleSeed = solarHash(fi + 149.0);
    float baseScale = 0.34 + 0.70 * sizeSeed * sizeSeed;
    head = tail = vec2(0.0);
    look = vec4(0.0);
    if (!returning) {
        float listenLife = reveal * (1.0 - returnPhase);
        if (listenLife <= 0.001) return;
        head = solarGraceParticlePoint(i, time, u.reveal, voice, motion);
        vec2 previous = solarGraceParticlePoint(i, max(time - 0.045, 0.0), u.reveal, voice, motion);
        // A mote wrapping from the end of its ray back to the source draws no wake.
        tail = distance(head, previous) >= 18.0 ? head : mix(head, previous, 0.42);
        float seed = fi + 311.0;
        float scale = baseScale * (0.82 + 0.76 * voice);
        float twinkle = 0.54 + 0.26 * sin(3.2 * time + 2.41 * fi) * motion;
        look = vec4(scale * (0.72 + 2.45 * solarHash(seed + 19.0)), scale * (0.66 + 1.18 * solarHash(seed + 43.0)),
                    listenLife * twinkle * (0.24 + voice * (0.34 + 0.15 * sparkleSeed)), seed);
        return;
    }
    if (returnPhase <= 0.001) return;
    float handoffVoice = solarHandoffVoice();
    float handoffTime = max(time - u.recognitionTime * motion, 0.0);
    float delay = 0.16 * solarHash(fi + 701.0);
    float duration = 1.40 + 0.52 * solarHash(fi + 733.0);
    float progress = clamp((u.recognitionTime - delay) / duration, 0.0, 1.0);
    vec2 start = solarGraceParticlePoint(i, handoffTime, u.recognitionReveal, handoffVoice, motion);
    float flight = 17.0 * fi + 3.0;
    head = solarSuccessPoint(start, flight, progress);
    float stepBack = (0.024 + 0.046 * solarHash(fi + 857.0)) * (0.58 + 0.82 * sin(3.14159265 * progress));
    tail = solarSuccessPoint(start, flight, max(progress - stepBack, 0.0));
    float shrink = mix(1.0, 0.10, solarEase(smoothstep(0.12, 1.0, progress)));
    float fade = 1.0 - smoothstep(0.78, 1.0, progress);
    float seed = fi + 823.0;
    float scale = baseScale * (0.86 + 0.70 * handoffVoice) * shrink;
    look = vec4(scale * (0.72 + 2.45 * solarHash(seed + 19.0)), scale * (0.66 + 1.18 * solarHash(seed + 43.0)),
                returnPhase * fade * (0.54 + 0.26 * sin(3.2 * handoffTime + 2.41 * fi) * motion) *
                    (0.080 + handoffVoice * (0.26 + 0.12 * sparkleSeed)),
                seed);
}

#ifdef SOLAR_VERTEX

out vec2 solarUv;

SolarVOut solarVertex(int vid) {
    vec2 p = vec2(vid == 1 ? 3.0 : -1.0, vid == 2 ? 3.0 : -1.0);
    return SolarVOut(vec4(p, 0.0, 1.0), p * 0.5 + 0.5);
}

void main() {
    SolarVOut o = solarVertex(gl_VertexID);
    gl_Position = o.position;
    solarUv = o.uv;
}
#endif

#ifdef SOLAR_MOTE_VERTEX

// Six vertices per instance: instances 0 to 39 are the listening motes, 40 to 79 the returning
// ones. Each covers the box outside which its spark is zero; a mote of weight 0 collapses.
flat out vec4 moteEnds;  // head, tail
flat out vec4 moteLook;  // radius, trail radius, weight, seed
flat out float moteKind;

void main() {
    int i = gl_InstanceID % 40;
    bool returning = gl_InstanceID >= 40;
    vec2 head, tail;
    vec4 look;
    solarMote(i, returning, head, tail, look);
    moteEnds = vec4(head, tail);
    moteLook = look;
    moteKind = returning ? 1.0 : 0.0;
    int corner = gl_VertexID % 6;
    vec2 unit = vec2(corner == 1 || corner == 3 || corner == 4 ? 1.0 : 0.0,
                     corner == 2 || corner == 4 || corner == 5 ? 1.0 : 0.0);
    float reach = 4.8 * max(max(look.x, look.y), 0.1) + 1.0;
    vec2 lo = min(head, tail) - reach;
    vec2 hi = max(head, tail) + reach;
    // The box's corners in the window, and the window-aligned box around them.
    vec2 a = solarWindowPoint(lo), b = solarWindowPoint(hi);
    vec2 c = solarWindowPoint(vec2(lo.x, hi.y)), d = solarWindowPoint(vec2(hi.x, lo.y));
    vec2 wlo = min(min(a, b), min(c, d)), whi = max(max(a, b), max(c, d));
    vec2 p = mix(wlo, whi, unit) / vec2(u.resW, u.resH) * 2.0 - 1.0;
    gl_Position = look.z > 0.0 ? vec4(p, 0.0, 1.0) : vec4(-2.0, -2.0, 0.0, 1.0);
}

#endif

#if !defined(SOLAR_VERTEX) && !defined(SOLAR_MOTE_VERTEX)

in vec2 solarUv;
out vec4 solarColour;

// Linear filtering with transparent black outside (the host binds a sampler object to every
// unit these read).
uniform sampler2D solarSource;  // unit 0: the blur's input, the composite's scene
uniform sampler2D solarBloom;   // unit 1: the composite's bloom
uniform sampler2D solarMotes;   // unit 2: the scene's motes, from the motes pass

#endif

#ifdef SOLAR_MOTES

flat in vec4 moteEnds;
flat in vec4 moteLook;
flat in float moteKind;

void main() {
    float v = solarOrganicSpark(solarFieldPoint(gl_FragCoord.xy), moteEnds.xy, moteEnds.zw, moteLook.w, moteLook.x,
                                moteLook.y) * moteLook.z;
    solarColour = moteKind > 0.5 ? vec4(0.0, v, 0.0, 0.0) : vec4(v, 0.0, 0.0, 0.0);
}

#endif

#ifdef SOLAR_GRACE

vec4 solarGraceFragment(SolarVOut v) {
    // Coordinates.
    vec2 point = solarFieldPoint(v.position.xy);
    float x = point.x;
    float y = point.y;

    // Lives and shape of the field.
    float reveal = smoothstep(0.0, 1.0, clamp(u.reveal, 0.0, 1.0));
    float voice = solarVoice();
    float success = clamp(u.success, 0.0, 1.0);
    float successProgress = clamp(u.successTime / 1.62, 0.0, 1.0);
    float successPull = solarEase(successProgress);
    float returnPhase = clamp(u.returning, 0.0, 1.0);
    float particleOnly = clamp(u.particleOnly, 0.0, 1.0);
    float recognitionPull = returnPhase * smoothstep(0.04, 0.92, u.recognitionTime);
    float recognitionExit = returnPhase * smoothstep(0.16, 1.55, u.recognitionTime);
    float listeningFieldLife = reveal * (1.0 - 0.52 * recognitionPull) * (1.0 - 0.98 * recognitionExit);
    float successRayLife = 0.52 * (1.0 - smoothstep(0.06, 0.92, successProgress));
    float fieldLife =
        (1.0 - particleOnly) * mix(listeningFieldLife, min(listeningFieldLife, successRayLife), success);
    float time = u.time * u.motion;
    float motion = clamp(u.motion, 0.0, 1.0);
    float entry = mix(mix(0.22, 1.0, reveal), 1.0, success);
    float lengthScale = mix(mix(1.0, 218.0 / 300.0, recognitionPull), mix(0.73, 0.12, successPull), success);
    float spread = mix(mix(0.30, 1.0, reveal) * mix(1.0, 0.74, recognitionPull) * (1.0 + 0.12 * voice),
                       mix(0.74, 0.24, successPull), success);
    float level = fieldLife * (0.88 + 0.20 * voice);

    float edge = 0.0;
    float gold = 0.0;
    float white = 0.0;
    vec2 rel = vec2(x, y - SOLAR_SOURCE_Y);

    if (level > 0.0) {
        // The atmosphere: a ninth, wide beam whose weights scale its edge, body and core.
        vec3 atmosphere = solarGraceBeam(rel, 0.0, 0.0, 243.0 * entry * lengthScale, 177.0, 25.5, 0.12 * level, 0.7,
                                         time, spread, motion);
        edge += 0.34 * atmosphere.x;
        gold += 0.82 * atmosphere.y;
        white += 0.04 * atmosphere.z;

        float inner = 0.0;
        float strongest = 0.0;
        for (int i = 0; i < 8; ++i) {
            vec3 beam = solarGraceBeam(rel, RAY_SOURCE_X[i], RAY_END_X[i], RAY_END_Y[i] * entry * lengthScale,
                                       RAY_HALF_WIDTH[i], RAY_BLUR[i], RAY_ALPHA[i] * level, RAY_PHASE[i], time,
                                       spread, motion);
            edge += beam.x;
            gold += beam.y * RAY_GOLD[i];
            white += beam.z * RAY_WHITE[i] + beam.y * RAY_BODY_WHITE[i];
            if (i >= 2 && i <= 5) {
                inner += beam.y;
                strongest = max(strongest, beam.y);
            }
        }
        // Where the inner beams cross, the light turns white.
        white += max(inner - 1.08 * strongest, 0.0) * (0.86 + 1.10 * voice);
    }

    // Motes, as the motes pass added them up at this pixel.
    vec2 motes = texelFetch(solarMotes, ivec2(v.position.xy), 0).xy;
    float listening = motes.x;
    float returningLight = motes.y;
    float handoffVoice = solarHandoffVoice();
    edge += 0.36 * (listening + returningLight);
    gold += 0.30 * listening + 0.28 * returningLight;
    white += listening * (0.62 + 0.30 * voice) + returningLight * (0.76 + 0.22 * handoffVoice);

    // The source's glow.
    float r = reveal * (1.0 - 0.98 * recognitionExit);
    float sourceLife = (1.0 - particleOnly) * mix(r, min(r, 1.0 - smoothstep(0.18, 0.96, successProgress)), success);
    float dist = length(vec2(x, (y - SOLAR_SOURCE_Y) * 1.04));
    float whiteGlow = exp(-pow(dist / 13.5, 2.0)) * sourceLife * 0.60;
    float goldGlow = exp(-pow(dist / 47.0, 2.0)) * sourceLife * 0.12;
    float halo = exp(-pow(dist / 126.0, 2.0)) * sourceLife * 0.052;
    gold += goldGlow + halo;
    white += whiteGlow + 0.12 * goldGlow;

    // The fringe's derivative is taken before any pixel leaves early: neighbours must run too.
    float optical = edge + 0.72 * gold + 0.48 * white;
    float e = dFdx(optical);

    float alphaEnergy = 1.58 * edge + 1.14 * gold + 1.58 * white;
    if (alphaEnergy <= 0.0) return vec4(0.0);
    float alpha = clamp(1.0 - exp(-alphaEnergy), 0.0, 0.78);

    float c = clamp(u.cloud, 0.0, 1.0);
    vec3 edgeColour = mix(vec3(0.17, 0.064, 0.006), vec3(0.025, 0.105, 0.235), c);
    vec3 goldColour = mix(vec3(1.00, 0.735, 0.36), vec3(0.48, 0.86, 1.00), 0.82 * c);
    vec3 whiteColour = mix(vec3(1.00, 0.995, 0.94), vec3(0.965, 0.995, 1.00), c);
    vec3 colour = (edgeColour * 1.52 * edge + goldColour * gold + whiteColour * 1.24 * white) /
                  max(1.52 * edge + gold + 1.24 * white, 0.0001);

    // Cloud interference: violet on one side of rays and motes, cyan on the other.
    float amount = smoothstep(0.0008, 0.028, abs(e)) * c;
    vec3 sideColour = mix(vec3(0.58, 0.34, 1.00), vec3(0.14, 0.76, 1.00), smoothstep(-0.002, 0.010, e));
    colour += sideColour * amount * (0.78 + 0.22 * sin(1.70 * time + 0.018 * y + 0.011 * x)) * (0.075 + 0.045 * voice);

    float luminous = gold + 1.65 * white;
    colour *= 0.82 + min(1.62 * luminous, 1.42);
    return vec4(colour, alpha);
}

void main() { solarColour = solarGraceFragment(SolarVOut(gl_FragCoord, solarUv)); }

#endif

#ifdef SOLAR_BLUR

vec4 solarBlurFragment(SolarVOut v) {
    vec2 texel = vec2(blurU.inverseWidth, blurU.inverseHeight) * blurU.radius;
    vec2 uv = v.uv;
    vec4 sum = texture(solarSource, uv) * 0.20;
    sum += (texture(solarSource, uv + vec2(texel.x, 0.0)) + texture(solarSource, uv - vec2(texel.x, 0.0)) +
            texture(solarSource, uv + vec2(0.0, texel.y)) + texture(solarSource, uv - vec2(0.0, texel.y))) *
           0.12;
    sum += (texture(solarSource, uv + texel) + texture(solarSource, uv - texel) +
            texture(solarSource, uv + vec2(texel.x, -texel.y)) + texture(solarSource, uv - vec2(texel.x, -texel.y))) *
           0.08;
    float gate = smoothstep(blurU.threshold, blurU.threshold + 0.22, solarLuminance(sum.rgb));
    sum.rgb *= mix(0.18, 1.0, gate);
    sum.a *= mix(0.24, 1.0, gate);
    return sum;
}

void main() { solarColour = solarBlurFragment(SolarVOut(gl_FragCoord, solarUv)); }

#endif

#ifdef SOLAR_COMPOSITE

vec4 solarCompositeFragment(SolarVOut v) {
    vec4 base = texture(solarSource, v.uv);
    vec4 glow = texture(solarBloom, v.uv);
    float alpha = clamp(base.a + 0.36 * glow.a * (1.0 - base.a), 0.0, 0.82);
    if (alpha < 0.0005) return vec4(0.0);
    vec3 hdr = base.rgb + glow.rgb * compositeU.bloomStrength;
    float l = max(solarLuminance(hdr), 0.0001);
    float mappedL = (l * compositeU.exposure) / (1.0 + 0.74 * l);
    vec3 mapped = hdr * mappedL / l;
    float s = mix(1.03, 1.08, clamp(compositeU.variant, 0.0, 1.0));
    mapped = mix(vec3(solarLuminance(mapped)), mapped, s);
    mapped = clamp(pow(max(mapped, vec3(0.0)), vec3(0.92)), 0.0, 1.0);
    return vec4(mapped * alpha, alpha);
}

void main() { solarColour = solarCompositeFragment(SolarVOut(gl_FragCoord, solarUv)); }

#endif
