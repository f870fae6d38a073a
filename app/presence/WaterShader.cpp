#include "presence/WaterShader.h"

#include "presence/SolarPasses.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <charconv>

namespace murmelo {

namespace {
QOpenGLExtraFunctions& gl() { return *QOpenGLContext::currentContext()->extraFunctions(); }

constexpr float PXR = 0.0182f;
constexpr float SCALE = 150.0f / 104.0f;

// Lengths: product pixels (px) of the reference drawing, PXR world units each; SCALE screen
// points each. The world's y grows upward; the camera sits at z = 30 looking down -z.
const char* const HEAD_TEMPLATE = R"GLSL(layout(std140) uniform U {
    float resW;
    float resH;
    float scale;
    float time;
    float lv;
    float lvF;
    float emerge;
    float str;
    float recog;
    float recT;
    float cloud;
    float yTop;
    float sourceAnchorX;
    float outputAnchorX;
    float outputAnchorY;
    float rotationCos;
    float rotationSin;
    float mirrorX;
    float contentScaleX;
    float contentScaleY;
} u;

const float PXR = %PXR%;
const float SCALE = %SCALE%;
const float PXS = PXR / SCALE;
const float TOP = 1.3953;
const float YBAR = TOP - 32.0 * PXR;
const vec3 WARM = vec3(1.00, 0.58, 0.20);
const vec3 LW = vec3(-0.302832, -0.454248, -0.837834);

// GLSL leaves smoothstep undefined for falling edges; the drawing needs both directions.
float sstep(float a, float b, float x) {
    float k = clamp((x - a) / (b - a), 0.0, 1.0);
    return k * k * (3.0 - 2.0 * k);
}
float sq(float x) { return x * x; }

vec3 lin(vec3 c) { return c * c; }
vec3 aces(vec3 x) { return clamp(x * (2.51 * x + 0.03) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0); }

// The drop's body for an emergence: the bottom's depth under the hanging line and the vertical
// radius (px), and the world height of the centre (without the voice's sway).
void dropBody(out float depth, out float ry, out float cy) {
    float E = clamp(u.emerge, 0.0, 1.2);
    float fill = sstep(0.0, 0.85, E);
    float over = max(E - 1.0, 0.0);
    depth = mix(5.0 / SCALE, 30.0, sstep(0.10, 1.0, E)) + 20.0 * over;
    ry = mix(8.0 / SCALE, 34.0, fill);
    cy = YBAR - (depth - ry) * PXR;
}

vec3 envScene(vec3 d) {
    vec3 c = lin(mix(vec3(0.045, 0.062, 0.140), vec3(0.012, 0.016, 0.052), sstep(-0.45, 0.55, d.y))) * 1.6;
    c *= mix(1.0, 0.04, sstep(0.06, 0.40, d.y));
    float g = max(dot(d, LW), 0.0);
    c += lin(WARM) * (3.6 * pow(g, 70.0) + 0.12 * pow(g, 9.0));
    float az = atan(d.x, d.z);
    c += lin(vec3(0.42, 0.52, 0.75)) * 0.35 * exp(-sq((az + 2.1) * 2.4)) * exp(-sq(1.8 * d.y));
    c += lin(vec3(0.30, 0.36, 0.80)) * 0.06 * sstep(0.0, -0.7, d.y);
    c += lin(vec3(0.55, 0.62, 0.78)) * 0.08 * pow(max(dot(d, normalize(vec3(0.0, -0.35, 1.0))), 0.0), 6.0);
    return c;
}
)GLSL";
}  // namespace

QString shortestFloatText(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    QString s = QString::fromLatin1(text, int(end - text));
    // A GLSL float constant needs its point.
    if (!s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e'))) s += QStringLiteral(".0");
    return s;
}

const QString& DROP_MSL_HEAD() {
    static const QString head = QString::fromLatin1(HEAD_TEMPLATE)
                                    .replace(QStringLiteral("%PXR%"), shortestFloatText(PXR))
                                    .replace(QStringLiteral("%SCALE%"), shortestFloatText(SCALE));
    return head;
}

const char* const DROP_MSL_DROP_GEOM = R"GLSL(const vec3 ABSORB = vec3(0.42, 0.20, 0.11);

// Signed distance to the drop (world units, negative inside): an ellipsoid hanging from YBAR
// that grows with the emergence, moved by the voice.
float mapDrop(vec3 p) {
    float t = u.time;
    float E = clamp(u.emerge, 0.0, 1.2);
    float fill = sstep(0.0, 0.85, E);
    float act = sstep(0.15, 0.75, E);
    float depth, ry, cy;
    dropBody(depth, ry, cy);
    vec3 c = vec3(0.0, cy, 0.0);
    c.x += 1.4 * PXR * u.lvF * act * sin(9.7 * t + 1.7 * sin(6.3 * t));
    c.y -= 1.0 * PXR * u.lvF * act * (0.5 + 0.5 * sin(11.3 * t));
    vec3 radii = vec3(mix(48.0 / SCALE, 52.0, fill) * (1.0 - 0.42 * u.str), ry * (1.0 + 0.50 * u.str),
                      mix(24.0 / SCALE, 42.0, fill) * (1.0 - 0.25 * u.str)) * PXR;
    vec3 q = (p - c) / radii;
    float d = (length(q) - 1.0) * radii.y;
    vec3 n = normalize(p - c);
    d -= 0.55 * act * PXR * u.lv * (0.5 * sin(3.0 * n.x + 3.9 * t) * sin(2.4 * n.y - 3.1 * t) + 0.3 * sin(3.6 * n.z + 4.3 * t));
    d -= 1.1 * PXR * u.lvF * act *
         (sin(2.6 * dot(q, vec3(2.6, 1.8, 1.2)) - 24.0 * t) + 0.6 * sin(2.2 * dot(q, vec3(-1.4, 2.2, 2.8)) + 17.0 * t));
    vec3 w = normalize(vec3(0.30 * sin(0.7 * t), -0.22, 1.0));
    float env = u.lvF * act * (0.62 + 0.38 * sin(3.4 * t + 1.4 * sin(5.23 * t)));
    float front = 0.35 + 0.65 * sstep(-0.6, 0.8, q.z);
    d -= 2.3 * PXR * env * front * sin(7.0 * dot(q, w) - 26.0 * t);
    if (u.recog > 0.001) d -= 1.4 * PXR * u.recog * act * sin(5.0 * q.y - 7.5 * t);
    return d;
}
)GLSL";

const char* const DROP_MSL_SHADE = R"GLSL(vec3 normDrop(vec3 p) {
    const float e = 0.0022;
    const vec3 k1 = vec3(1.0, -1.0, -1.0), k2 = vec3(-1.0, -1.0, 1.0), k3 = vec3(-1.0, 1.0, -1.0), k4 = vec3(1.0);
    return normalize(k1 * mapDrop(p + k1 * e) + k2 * mapDrop(p + k2 * e) + k3 * mapDrop(p + k3 * e) +
                     k4 * mapDrop(p + k4 * e));
}

// Through the water from p0: the length travelled and where the ray leaves.
float marchInside(vec3 p0, vec3 rd, out vec3 exitPoint) {
    float t = 0.012;
    for (int i = 0; i < 48; ++i) {
        float d = -mapDrop(p0 + rd * t);
        if (d < 0.0012) break;
        t += max(0.7 * d, 0.008);
        if (t > 2.4) break;
    }
    exitPoint = p0 + rd * t;
    return t;
}

// Linear colour of the surface at pos with normal n seen along rd.
vec3 shadeWater(vec3 pos, vec3 n, vec3 rd) {
    float t = u.time;
    float c = clamp(u.cloud, 0.0, 1.0);
    vec3 K = mix(WARM, vec3(0.38, 0.82, 1.00), 0.86 * c);
    float ndv = clamp(dot(n, -rd), 0.0, 1.0);
    float F = 0.02 + 0.98 * pow(1.0 - ndv, 5.0);
    vec3 rf = reflect(rd, n);
    vec3 reflection = envScene(rf);

    vec3 rr = refract(rd, n, 0.752);
    vec3 exitPoint;
    float L = marchInside(pos, rr, exitPoint);
    vec3 m = -normDrop(exitPoint);
    vec3 rt = refract(rr, m, 1.33);
    if (dot(rt, rt) < 0.25) rt = reflect(rr, m);
    vec3 transmitted = envScene(rt) * exp(-L * ABSORB) * 0.85 + lin(K) * pow(max(dot(rt, LW), 0.0), 260.0) * 2.2;
    vec3 col = reflection * F + transmitted * (1.0 - F);

    float fillS = sstep(0.0, 0.85, clamp(u.emerge, 0.0, 1.2));
    vec3 Ls = normalize(vec3(0.45 + 0.05 * sin(0.19 * t), 0.55 + 0.04 * sin(0.16 * t + 0.7), 0.72));
    float s = max(dot(rf, Ls), 0.0);
    col += lin(vec3(0.93, 0.96, 1.00)) * (2.4 * pow(s, 300.0) + 0.5 * pow(s, 60.0));
    vec3 GD = normalize(vec3(-0.62 + 0.09 * sin(0.31 * t), -0.66 + 0.06 * sin(0.23 * t + 1.0), 0.42 + 0.07 * cos(0.27 * t)));
    float g = max(dot(n, GD), 0.0);
    col += lin(K) * 2.2 * pow(g, 160.0);
    float band = sstep(0.25, 0.55, -rf.y) * pow(1.0 - ndv, 2.2);
    col += lin(vec3(0.62, 0.63, 0.66)) * 0.40 * band;
    vec3 LsLow = normalize(vec3(0.25, -0.85, -0.47));
    float l = max(dot(rf, LsLow), 0.0);
    col += lin(vec3(0.92, 0.95, 1.00)) * (1.7 * pow(l, 300.0) * mix(0.35, 1.0, fillS) + 0.18 * pow(l, 55.0));
    // A thin line just inside the silhouette, as wide on screen whatever the size.
    float wA = max(1.5 * fwidth(ndv), 1e-5);
    float rim = sstep(0.085 + wA, 0.085 - wA, ndv) * sstep(0.028 - wA, 0.028 + wA, ndv);
    col += lin(vec3(0.88, 0.90, 0.95)) * rim * (0.25 + 0.75 * sstep(0.2, -0.6, n.y)) * 0.9 * mix(0.2, 1.0, fillS);
    col += vec3(1.0) * 2.5 * pow(l, 1400.0) * mix(0.3, 1.0, fillS) + lin(K) * 2.5 * pow(g, 700.0) * mix(0.3, 1.0, fillS);

    // Cloud work changes the material only, never the shape.
    float i = 0.5 + 0.5 * sin(22.0 * pos.x + 17.0 * pos.y + 4.0 * n.x - t * (1.15 + 1.35 * u.lvF));
    col += lin(mix(vec3(0.60, 0.36, 1.00), vec3(0.18, 0.72, 1.00), i)) * c * pow(1.0 - ndv, 2.1) *
           (0.11 + 0.20 * u.lvF + 0.045 * u.recog);

    if (u.recog > 0.001) {
        // A warm spark rising through the water, born under the lower edge when recognition starts.
        float depth, ry, cy;
        dropBody(depth, ry, cy);
        float tt = fract(0.62 * u.recT);
        float yF = mix(cy - (ry + 6.0) * PXR, TOP - 26.0 * PXR, tt);
        vec3 Lp = vec3(6.0 * PXR * sin(1.7 * t), yF, 4.0 * PXR);
        float envelope = sstep(0.0, 0.10, tt) * u.recog;
        vec3 ab = exitPoint - pos;
        float h = clamp(dot(Lp - pos, ab) / max(dot(ab, ab), 1e-10), 0.0, 1.0);
        float dseg = length(Lp - pos - ab * h);
        col += lin(K) * exp(-sq(dseg / (9.0 * PXR))) * envelope * 1.6;
    }
    return col;
}

// Marches the ray from ro along rd inside the sphere (centre, R) that bounds the drop and
// returns how much of the pixel the drop covers: 1 on a hit at p; at the silhouette's edge
// coverage from the closest approach (p), one and a half pixels of width pxw wide; else 0.
float marchDrop(vec3 ro, vec3 rd, vec3 centre, float R, float pxw, out vec3 p) {
    p = ro;
    vec3 oc = ro - centre;
    float b = dot(oc, rd);
    float h = b * b - (dot(oc, oc) - R * R);
    if (h < 0.0) return 0.0;
    h = sqrt(h);
    float exitT = -b + h;
    float t = max(-b - h, 0.8);
    float best = 1e9, bestT = t;
    for (int i = 0; i < 120 && t <= exitT; ++i) {
        p = ro + rd * t;
        float d = mapDrop(p);
        if (d < best) {
            best = d;
            bestT = t;
        }
        if (d < 0.0009) return 1.0;
        t += d * mix(0.34, 0.65, sstep(0.04, 0.40, d));
    }
    if (best >= 1.6 * pxw) return 0.0;
    p = ro + rd * bestT;
    return 1.0 - sstep(0.0, 1.6 * pxw, best);
}
)GLSL";

const char* const DROP_MSL_DROP_MAIN = R"GLSL(out vec4 fragColor;

void main() {
    // gl_FragCoord starts at the bottom-left; the window's points start at the top-left.
    vec2 outPt = vec2(gl_FragCoord.x, u.resH - gl_FragCoord.y) / u.scale;
    vec2 rel = outPt - vec2(u.outputAnchorX, u.outputAnchorY);
    vec2 src = vec2(u.rotationCos * rel.x + u.rotationSin * rel.y, -u.rotationSin * rel.x + u.rotationCos * rel.y);
    src.x /= max(u.contentScaleX, 0.001);
    src.y /= max(u.contentScaleY, 0.001);
    src.x *= u.mirrorX;
    vec2 pt = vec2(u.sourceAnchorX, u.yTop) + src;
    float wx = (pt.x - u.sourceAnchorX) * PXS;
    float wy = YBAR + (u.yTop - pt.y) * PXS;
    vec3 ro = vec3(0.0, 0.0, 30.0);
    vec3 rd = normalize(vec3(wx / 1.3953, wy / 1.3953, -21.5));

    vec3 p;
    float alpha = marchDrop(ro, rd, vec3(0.0, YBAR - 20.0 * PXR, 0.0), 110.0 * PXR + 0.15, PXS / u.scale, p);
    if (alpha <= 0.0) {
        fragColor = vec4(0.0);
        return;
    }
    vec3 col = sqrt(aces(1.30 * shadeWater(p, normDrop(p), rd)));
    fragColor = vec4(col * alpha, alpha);
}
)GLSL";

const char* const DROP_VERTEX_GLSL = R"GLSL(#version 330 core
void main() {
    gl_Position = vec4(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0, 0.0, 1.0);
}
)GLSL";

const QString& DROP_MSL() {
    static const QString source = DROP_MSL_HEAD() + QLatin1Char('\n') + QString::fromLatin1(DROP_MSL_DROP_GEOM) +
                                  QLatin1Char('\n') + QString::fromLatin1(DROP_MSL_SHADE) + QLatin1Char('\n') +
                                  QString::fromLatin1(DROP_MSL_DROP_MAIN);
    return source;
}

WaterPass::WaterPass() { gl().glGenBuffers(1, &buffer_); }

WaterPass::~WaterPass() {
    if (QOpenGLContext::currentContext()) gl().glDeleteBuffers(1, &buffer_);
}

bool WaterPass::render(const DropUniforms& uniforms, GLuint target, QSize size) {
    DropGraphics& set = DropGraphics::shared();
    if (!set.ready() || size.width() <= 0 || size.height() <= 0) return false;
    DropUniforms u = uniforms;
    u.resW = float(size.width());
    u.resH = float(size.height());
    auto& f = gl();
    f.glBindFramebuffer(GL_FRAMEBUFFER, target);
    f.glViewport(0, 0, size.width(), size.height());
    f.glBindBuffer(GL_UNIFORM_BUFFER, buffer_);
    f.glBufferData(GL_UNIFORM_BUFFER, sizeof u, &u, GL_STREAM_DRAW);
    f.glBindBufferBase(GL_UNIFORM_BUFFER, DropGraphics::WATER_BLOCK, buffer_);
    f.glDisable(GL_BLEND);
    f.glDisable(GL_DEPTH_TEST);
    f.glClearColor(0, 0, 0, 0);
    f.glClear(GL_COLOR_BUFFER_BIT);
    set.water()->bind();
    triangle_.draw();
    set.water()->release();
    return true;
}

}  // namespace murmelo
