"""Reading what the null sink recorded: loudness over time, tone segments and their frequency."""
import array
import math
import wave

WINDOW_SECONDS = 0.01


class Recording:
    def __init__(self, path):
        with wave.open(path, "rb") as f:
            self.rate = f.getframerate()
            channels = f.getnchannels()
            if f.getsampwidth() != 2:
                raise ValueError(f"{path}: 16-bit samples expected")
            frames = array.array("h", f.readframes(f.getnframes()))
        self.samples = frames[::channels]  # the left channel
        self.window = int(self.rate * WINDOW_SECONDS)
        self.rms = [
            math.sqrt(sum(s * s for s in self.samples[i:i + self.window]) / self.window)
            for i in range(0, len(self.samples) - self.window + 1, self.window)
        ]

    @property
    def seconds(self):
        return len(self.samples) / self.rate

    def segments(self, threshold):
        """(start, end) in seconds of the runs of windows louder than threshold."""
        found, start = [], None
        for index, level in enumerate(self.rms + [0.0]):
            if level > threshold and start is None:
                start = index
            elif level <= threshold and start is not None:
                found.append((start * WINDOW_SECONDS, index * WINDOW_SECONDS))
                start = None
        return found

    def loudest(self):
        return max(self.rms, default=0.0)

    def frequency(self, start, end):
        """Frequency from rising zero crossings between two times, 50 ms in from each edge."""
        first = int((start + 0.05) * self.rate)
        last = int((end - 0.05) * self.rate)
        crossings = []
        for i in range(max(first, 1), last):
            if self.samples[i - 1] < 0 <= self.samples[i]:
                # Interpolated crossing time, for a measure finer than one sample.
                a, b = self.samples[i - 1], self.samples[i]
                crossings.append(i - 1 + (-a) / (b - a))
        if len(crossings) < 2:
            return 0.0
        return (len(crossings) - 1) * self.rate / (crossings[-1] - crossings[0])

    def tone_share(self, start, end, frequency):
        """Share of the signal's power at one frequency (Goertzel), between two times."""
        first, last = int(start * self.rate), int(end * self.rate)
        block = self.samples[first:last]
        if not block:
            return 0.0
        omega = 2 * math.pi * frequency / self.rate
        coefficient = 2 * math.cos(omega)
        previous = before = 0.0
        for s in block:
            previous, before = s + coefficient * previous - before, previous
        power = previous * previous + before * before - coefficient * previous * before
        total = sum(s * s for s in block)
        # A pure sine of amplitude A over N samples gives power (A*N/2)^2 and total N*A^2/2.
        return (2 * power / len(block)) / total if total else 0.0
